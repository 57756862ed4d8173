#include "blocks/block_set.h"

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
  block->id = nextId_++;
  OwningObjectList<Block>::Add(block);
  ++listVersion_;
  contactGrid.Reserve(Count());  // room made now, so that steps allocate nothing
}

void BlockSet::RemoveAt(int index) {
  FinishPickRefresh();
  ForgetReferencesTo(At(index));
  OwningObjectList<Block>::RemoveAt(index);
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
