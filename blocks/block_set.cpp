#include "blocks/block_set.h"

#include <algorithm>
#include <unordered_map>

#include "app/game_app.h"
#include "world/world.h"

namespace r = platform::render;

bool BlockSet::Initialise(GameApp* app, int buffer_width, int buffer_height) {
  application = app;
  width = buffer_width;
  height = buffer_height;
  table = &app->GetWorld()->table;
  const size_t cells = size_t(width) * height;
  front_.Allocate(width, height);
  back_.Allocate(width, height);
  candidates.assign(cells, 0);
  edgeMask_.assign(cells, 0);
  frontBlockRows_.assign(size_t(height), PickBuffer::Extent{});
  frontDescribed_ = maskFromFill_ = false;
  for (int k = 0; k < 4; ++k) dragQuad.corner[k] = &dragQuadCorners[k];
  return true;
}

BlockSet::~BlockSet() {
  FinishPickRefresh();
  // The blocks go before the blank texture their faces show; the links among them need no
  // unlinking, all of them go.
  while (Count() > 0) OwningObjectList<Block>::RemoveAt(Count() - 1);
}

void BlockSet::Add(Block* block) {
  FinishPickRefresh();
  block->id = TakeId();
  OwningObjectList<Block>::Add(block);
  ++listVersion_;
  contactGrid.Reserve(Count());  // room made now, so that steps allocate nothing
}

uint32_t BlockSet::TakeId() {
  if (nextId_ <= kLargestId) return nextId_++;
  // Two billion blocks made: the gaps left by the removed ones are used, so that an id never
  // wraps onto one a block holds.
  std::vector<uint32_t> held;
  held.reserve(size_t(Count()));
  for (int i = 0; i < Count(); ++i) held.push_back(At(i)->id);
  std::sort(held.begin(), held.end());
  uint32_t id = 1;
  for (uint32_t h : held)
    if (h == id)
      ++id;
    else if (h > id)
      break;
  return id;
}

void BlockSet::RemoveAt(int index) {
  FinishPickRefresh();
  ForgetReferencesTo(At(index));
  OwningObjectList<Block>::RemoveAt(index);
  ++listVersion_;
}

void BlockSet::RemoveAll() {
  FinishPickRefresh();
  // What would have gone with one of the blocks, and only that.
  auto listed = [&](const Block* b) { return b && Find(b) >= 0; };
  for (Face** face : {&pendingFace, &savedLink, &supportQuad})
    if (*face && listed((*face)->owner)) *face = nullptr;
  if (listed(groupBlock)) groupBlock = nullptr;
  for (int i = 0; i < Count(); ++i) delete At(i);
  DropWhere([](const Block*) { return true; });
  ++listVersion_;
}

void BlockSet::RemoveBlocks(const std::vector<Block*>& gone) {
  if (gone.empty()) return;
  FinishPickRefresh();
  // When each block goes, and every block's place in the list: the walks below go in list order.
  std::unordered_map<const Block*, int> step_of;
  for (size_t i = 0; i < gone.size(); ++i) step_of.emplace(gone[i], int(i));
  std::unordered_map<const Block*, int> place;
  for (int i = 0; i < Count(); ++i) place.emplace(At(i), i);
  auto order = [&](const Face* f) { return place.at(f->owner) * 6 + int(f - f->owner->faces); };
  // The faces glued into a block that goes (only they can come loose), and for each of them
  // the faces glued to it, where a loose face looks for its new partner.
  std::vector<Face*> loose;
  for (int i = 0; i < Count(); ++i)
    for (Face& face : At(i)->faces)
      if (face.link && step_of.count(face.link->owner)) loose.push_back(&face);
  std::unordered_map<const Face*, std::vector<Face*>> glued_to;
  for (Face* f : loose) glued_to.emplace(f, std::vector<Face*>{});
  for (int i = 0; i < Count(); ++i)
    for (Face& face : At(i)->faces)
      if (face.link) {
        const auto found = glued_to.find(face.link);
        if (found != glued_to.end()) found->second.push_back(&face);
      }
  auto relink = [&](Face* f, Face* to) {
    if (const auto from = glued_to.find(f->link); from != glued_to.end())
      std::erase(from->second, f);
    f->link = to;
    if (const auto at = glued_to.find(to); to && at != glued_to.end()) {
      std::vector<Face*>& faces = at->second;
      faces.insert(
          std::upper_bound(faces.begin(), faces.end(), f,
                           [&](const Face* a, const Face* b) { return order(a) < order(b); }),
          f);
    }
  };
  // Each removal in turn, as ForgetReferencesTo makes it, on the faces that can change.
  for (size_t step = 0; step < gone.size(); ++step) {
    const Block* going = gone[step];
    auto still_here = [&](const Block* b) {
      const auto s = step_of.find(b);
      return s == step_of.end() || s->second > int(step);
    };
    for (Face* face : loose) {
      if (face->owner == going || !still_here(face->owner)) continue;
      if (!face->link || face->link->owner != going) continue;
      Face* partner = nullptr;
      for (Face* other : glued_to.at(face))
        if (other->owner != going && still_here(other->owner)) {
          partner = other;
          break;
        }
      relink(face, partner);
    }
    if (pendingFace && pendingFace->owner == going) pendingFace = nullptr;
    if (savedLink && savedLink->owner == going) savedLink = nullptr;
    if (groupBlock == going) groupBlock = nullptr;
    if (supportQuad && supportQuad->owner == going) supportQuad = nullptr;
  }
  DropWhere([&](const Block* b) { return step_of.count(b) != 0; });
  for (Block* b : gone) delete b;
  ++listVersion_;
}

Face* BlockSet::FaceGluedTo(const Face& face, const Block* except) const {
  for (int i = 0; i < Count(); ++i) {
    Block* b = At(i);
    if (b == except) continue;
    for (Face& other : b->faces)
      if (other.link == &face) return &other;
  }
  return nullptr;
}

void BlockSet::ForgetReferencesTo(const Block* gone) {
  // Links come in pairs, but a drag may have left one side, so every face is looked at. A face
  // that loses its partner goes back to a face still glued to it from before (a drag can glue
  // over a glued face and leave the old partner pointing at it), or to none.
  for (int i = 0; i < Count(); ++i) {
    Block* b = At(i);
    if (b == gone) continue;
    for (Face& face : b->faces)
      if (face.link && face.link->owner == gone) face.link = FaceGluedTo(face, gone);
  }
  if (pendingFace && pendingFace->owner == gone) pendingFace = nullptr;
  if (savedLink && savedLink->owner == gone) savedLink = nullptr;
  if (groupBlock == gone) groupBlock = nullptr;
  if (supportQuad && supportQuad->owner == gone) supportQuad = nullptr;
}

Block* BlockSet::AddBlock(const platform::gdi::DeviceContext& dc, r::RenderDevice* device,
                          const SoundManager& sound_manager, const Vec3& centre,
                          const Vec3& block_size) {
  auto* block = new Block();
  blankFace_.Create(dc, device);
  block->Create(blankFace_, sound_manager, OriginForDisplayCentre(centre, block_size), block_size);
  Add(block);
  return block;
}

Block* BlockSet::AddBlockOwnContext(r::RenderDevice* device, const SoundManager& sound_manager,
                                    const Vec3& centre, const Vec3& block_size) {
  platform::gdi::DeviceContext dc;  // the window's
  return AddBlock(dc, device, sound_manager, centre, block_size);
}

void BlockSet::Draw(r::RenderDevice* device, const Mat4& /*matrix*/, const Block* /*held*/) const {
  device->SetFVF(r::kFvfXyz | r::kFvfDiffuse | r::kFvfTex1);
  for (int i = 0; i < Count(); ++i) At(i)->Draw(device);
}
