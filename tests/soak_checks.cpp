#include "soak_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "blocks/block_set.h"
#include "memory/heap_figures.h"
#include "play/grab_layer.h"
#include "world/table.h"

namespace r = platform::render;

namespace {

// The play scene's own factor, so that the camera matrix comes out bit for bit as the frame's.
constexpr float kDegreesToRadians = 0.017453289f;
// The grab layer removes a block standing within this many pixels of a handled one.
constexpr int kCopyReach = 3;
// What the allocator's figure may wander by between entries into play (caches settle, the
// allocator keeps a little); a block left behind on each entry would pass it within a few dozen.
constexpr int64_t kHeapSlack = int64_t(256) << 10;
// The pick cells are compared whenever the block list changed, and every this many frames.
constexpr int64_t kPickCheckPeriod = 8;

constexpr uint64_t kHashStart = 0xCBF29CE484222325ull;

uint64_t MixTexture(uint64_t hash, const ImageTexture& texture) {
  if (const DibImage* backing = texture.Backing())
    hash = MixBytes(hash, backing->Buffer().data(), backing->Buffer().size());
  return hash;
}

}  // namespace

SoakChecks::SoakChecks(TestApp* t) : t_(t) {}

Mat4 SoakChecks::ScreenMatrixWith(const Mat4& world) {
  r::RenderDevice* device = t_->app().Graphics().Device();
  r::Matrix saved;
  device->GetTransform(r::TransformType::kWorld, &saved);
  device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(world));
  const Mat4 ms = t_->world().blockSet.ScreenMatrix(device);
  device->SetTransform(r::TransformType::kWorld, saved);
  return ms;
}

bool SoakChecks::Live(const Block* b) const {
  return b == &t_->world().table || t_->world().blockSet.Find(b) >= 0;
}

void SoakChecks::BeforePlayFrame(bool pen, bool history) {
  BlockSet& set = t_->world().blockSet;
  PlayScene& play = t_->play();
  pen_ = pen || history;  // an undo or redo puts texels back
  history_ = history;
  // Where a grab layer refresh in this frame will see each block: with the camera the frame is
  // about to set, before anything moves.
  const Mat4 ms = ScreenMatrixWith(
      PlayScene::CameraMatrix(double(play.pitch * kDegreesToRadians), play.yaw, play.zoom));
  before_.clear();
  const GrabLayer& layer = t_->world().grabLayer;
  for (int i = 0; i < set.Count(); ++i) {
    const Block* b = set.At(i);
    const ScreenPoint s = ProjectToScreen(b->centre, ms);
    before_.push_back({b, int(s.x), int(s.y), layer.HasHandle(b)});
  }
}

std::string SoakChecks::AfterPlayFrame(bool entered) {
  ++frame_;
  std::string why = References();
  if (why.empty()) why = Pairs();
  if (why.empty() && !entered) why = Removals();
  if (why.empty()) why = PickCells();
  if (why.empty()) why = Camera();
  if (why.empty()) {
    // A new play space starts from white texels: nothing to compare with.
    if (entered) pen_ = true;
    why = Paint();
  }
  if (why.empty() && entered) why = Heap();
  return why;
}

// Everything that refers to a block refers to one in the list; every corner is a number.
std::string SoakChecks::References() {
  World& world = t_->world();
  BlockSet& set = world.blockSet;
  PlayScene& play = t_->play();
  // Every face pointer is checked by address first, so that a dangling one is caught before it
  // is followed.
  faces_.clear();
  for (int i = 0; i < set.Count(); ++i)
    for (const Face& f : set.At(i)->faces) faces_.push_back(&f);
  std::sort(faces_.begin(), faces_.end());
  const auto known = [&](const Face* f) {
    return !f || std::binary_search(faces_.begin(), faces_.end(), f);
  };
  for (int i = 0; i < set.Count(); ++i) {
    const Block* b = set.At(i);
    for (const Vec3& c : b->corners)
      if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z))
        return "a corner is not a finite number";
    for (const Face& f : b->faces) {
      if (!known(f.link)) return "a link to a face of no block in the list";
      if (f.link && f.link->owner == b) return "a block glued to itself";
    }
  }
  if (!known(set.pendingFace) || !known(set.savedLink))
    return "the glue state names a face of no block in the list";
  const Face* support = set.supportQuad;
  if (support != &world.table.TopRecord() && support != &world.grabLayer.quad && !known(support))
    return "the support quad is neither the table, the handles' quad nor a face in the list";
  if (set.groupBlock && !Live(set.groupBlock)) return "the group block is gone";
  if (play.heldBody && !Live(play.heldBody)) return "the held body is gone";
  if (play.heldHandle) {
    if (world.grabLayer.Find(play.heldHandle) < 0) return "the held handle is gone";
    if (!Live(play.heldHandle->block)) return "the held handle's block is gone";
  }
  for (int i = 0; i < world.grabLayer.Count(); ++i)
    if (!Live(world.grabLayer.At(i)->block)) return "a handle's block is gone";
  return "";
}

// Links come in pairs. The only link without its other side is the one a drag keeps while it
// lasts: the old partner of the face the held block was last glued to, so that the next drag
// frame can give it back.
std::string SoakChecks::Pairs() {
  World& world = t_->world();
  BlockSet& set = world.blockSet;
  PlayScene& play = t_->play();
  const bool dragging = play.heldBody && play.heldBody->kind == Block::kBlock;
  for (int i = 0; i < set.Count(); ++i) {
    const Block* b = set.At(i);
    for (const Face& f : b->faces) {
      if (!f.link || f.link->link == &f) continue;
      if (dragging && &f == set.savedLink && f.link == set.pendingFace) continue;
      const Face* partner = f.link->link;
      std::ostringstream why;
      why << "a link without its other side: block " << i << " face " << (&f - b->faces)
          << " to block " << set.Find(f.link->owner) << " face " << (f.link - f.link->owner->faces)
          << ", which links to " << (partner ? set.Find(partner->owner) : -1) << " held "
          << (play.heldBody ? set.Find(play.heldBody) : -9);
      return why.str();
    }
  }
  return "";
}

// Every block gone since the frame began was taken by the grab layer's rule: it stood, on
// screen, within a few pixels of a handled block (where a copy is dragged back onto its
// original), and had no handle itself. (References, judged first, finds anything still pointing
// at it.)
std::string SoakChecks::Removals() {
  const BlockSet& set = t_->world().blockSet;
  for (const Before& gone : before_) {
    if (set.Find(gone.block) >= 0) continue;
    // An undo or redo removes what it must; a drop of handles, what the grab layer's rule takes.
    const bool by_rule =
        history_ || (!gone.handled && std::any_of(before_.begin(), before_.end(), [&](auto& s) {
          return s.handled && s.block != gone.block && std::abs(s.x - gone.x) < kCopyReach &&
                 std::abs(s.y - gone.y) < kCopyReach;
        }));
    if (!by_rule)
      return "a block was removed by no rule (at " + std::to_string(gone.x) + ", " +
             std::to_string(gone.y) + (gone.handled ? ", handled)" : ", not handled)");
    if (!history_) ++figures_.removalsJudged;  // the grab layer's, which the soak counts too
  }
  return "";
}

// The front buffer, read as the program reads it, against a fill of its own of the list as it is
// now: every frame ends with a refresh, so every cell must name what is drawn there. A buffer
// left from before the list changed would read as empty, or as another block.
std::string SoakChecks::PickCells() {
  BlockSet& set = t_->world().blockSet;
  if (set.ListVersion() == checkedListVersion_ && frame_ % kPickCheckPeriod != 0) return "";
  checkedListVersion_ = set.ListVersion();
  ++figures_.pickChecks;
  const int w = set.Width(), h = set.Height();
  if (reference_.size() != size_t(w) * h) reference_.Allocate(w, h);
  reference_.Clear();
  // The frame's camera: a device reset after the frame's fill leaves the device's own at rest.
  const Mat4 ms = ScreenMatrixWith(t_->play().worldMatrix);
  Table& table = t_->world().table;
  if (table.tableCornerRefs()[0]) {
    ScreenPoint q[4];
    for (int k = 0; k < 4; ++k) q[k] = ProjectToScreen(*table.tableCornerRefs()[k], ms);
    set.RasterizeTriangle(&reference_, q[0], q[1], q[2], PickCell::kTableBody, 1, 0);
    set.RasterizeTriangle(&reference_, q[2], q[3], q[0], PickCell::kTableBody, 1, 1);
  }
  for (int i = 0; i < set.Count(); ++i) {
    ScreenPoint s[8];
    for (int k = 0; k < 8; ++k) s[k] = ProjectToScreen(set.At(i)->corners[k], ms);
    for (int f = 0; f < 6; ++f) {
      const int* c = kFaceCorners[f];
      set.RasterizeTriangle(&reference_, s[c[0]], s[c[1]], s[c[2]], set.BodyId(i), f, 0);
      set.RasterizeTriangle(&reference_, s[c[2]], s[c[3]], s[c[0]], set.BodyId(i), f, 1);
    }
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const PickCell seen = set.FrontCell(x, y);
      const PickCell drawn = reference_[CellIndex(x, y, w)];
      if (seen.id != drawn.id || set.CellFace(seen) != set.CellFace(drawn))
        return "pick cell (" + std::to_string(x) + ", " + std::to_string(y) + ") names body " +
               std::to_string(seen.Body()) + " face " + std::to_string(seen.FaceIndex()) +
               " where body " + std::to_string(drawn.Body()) + " face " +
               std::to_string(drawn.FaceIndex()) + " is drawn";
    }
  return "";
}

// Texels of faces, of the table and of the canvas change only in a frame where a pen paints.
std::string SoakChecks::Paint() {
  World& world = t_->world();
  BlockSet& set = world.blockSet;
  // Each block's faces; under no block, the table's and the canvas.
  std::unordered_map<const Block*, uint64_t> now;
  uint64_t& surround = now[nullptr] = MixTexture(kHashStart, world.table.texture);
  if (const uint8_t* canvas = world.canvas.DibBits())
    surround = MixBytes(surround, canvas, size_t(world.canvas.Width()) * world.canvas.Height() * 3);
  for (int i = 0; i < set.Count(); ++i) {
    uint64_t& hash = now[set.At(i)] = kHashStart;
    for (const Face& face : set.At(i)->faces)
      if (face.texture) hash = MixTexture(hash, *face.texture);
  }
  std::string why;
  if (!pen_) {
    ++figures_.paintChecks;
    for (const auto& [block, hash] : now) {
      const auto old = texels_.find(block);
      if (why.empty() && old != texels_.end() && old->second != hash)
        why = (block ? "block " + std::to_string(set.Find(block)) : std::string("the surround")) +
              "'s texels changed with no pen";
    }
  }
  texels_ = std::move(now);
  return why;
}

std::string SoakChecks::Camera() {
  const PlayScene& play = t_->play();
  if (!(play.pitch >= 0.0f && play.pitch <= 90.0f)) return "pitch out of 0..90";
  if (!(play.yaw >= 0.0f && play.yaw <= 360.0f)) return "yaw out of 0..360";
  if (!(play.zoom >= 4.0f && play.zoom <= 16.0f)) return "zoom out of 4..16";
  return "";
}

// The heap on entering play, when the space is made anew, from the third entry on (the first
// ones make what lives for the whole run).
std::string SoakChecks::Heap() {
  t_->platform().ClearSounds();  // the headless platform's record of what was heard
  const size_t in_use = heap::InUse();
  if (std::getenv("SOAK_TRACE")) std::fprintf(stderr, "entry %d heap %zu\n", entries_ + 1, in_use);
  if (++entries_ == 3) figures_.heapBaseline = in_use;
  if (entries_ <= 3) return "";
  const int64_t drift = int64_t(in_use) - int64_t(figures_.heapBaseline);
  figures_.heapDrift = std::max(figures_.heapDrift, drift);
  if (drift > kHeapSlack)
    return "the heap grew by " + std::to_string(drift) + " bytes since the third entry into play";
  return "";
}
