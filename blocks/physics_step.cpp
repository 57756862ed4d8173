// The physics step of the block set and the at-rest query the door waits for.
#include "blocks/physics_step.h"

#include <algorithm>
#include <cmath>

#include "blocks/block_set.h"
#include "blocks/contact.h"
#include "blocks/world_limits.h"
#include "world/table.h"

namespace {

constexpr float kFallPerStep = 0.1f;
// Fall heights: below the first nothing sounds; then collision1 below 0.5, collision2 below 1,
// collision3 below 2, collision4 below 4, collision5 from 4 up.
constexpr float kSilentBelow = 0.3f;
constexpr float kBandLimits[4] = {0.5f, 1.0f, 2.0f, 4.0f};

float Distance(const Vec3& a, const Vec3& b) {
  Vec3 d;
  return std::sqrt(LengthSquared(Subtract(d, a, b)));
}

}  // namespace

void PredictBlock(Block& block) {
  block.previousCentre = block.centre;
  for (int j = 0; j < 8; ++j) {
    AddInPlace(block.corners[j], block.velocities[j]);
    block.corners[j].z -= kFallPerStep;
    block.contact[j] = 0;
  }
  block.touched = 0;
}

void RestoreShape(Block& block) {
  Block* one = &block;
  RestoreShapes(&one, 1);
}

int CollisionSoundFor(float fall_height) {
  if (!(fall_height >= kSilentBelow)) return -1;
  for (int band = 0; band < 4; ++band)
    if (fall_height < kBandLimits[band]) return band;
  return 4;
}

// Whether a corner has left the play space, less room for the rest of the block.
bool BeyondPlaySpace(const Block& block) {
  for (const Vec3& corner : block.corners)
    if (!world_limits::Within(corner, world_limits::kPlace - 2.0f * world_limits::kEdge))
      return true;
  return false;
}

void FinishBlock(Block& block) {
  // A block that would leave the play space (hours of falling, or the extremes a file may hold)
  // stops where it was, so that what the toy keeps stays what it can read back.
  const bool stop = BeyondPlaySpace(block);
  if (stop) {
    Vec3 sum;
    for (int j = 0; j < 8; ++j) AddInPlace(sum, block.corners[j] = block.savedCorners[j]);
    Scale(block.centre, sum, 0.125f);
  }
  // Hardly moved: the step is undone, which lets stacks come to rest. The centre keeps the
  // value of the last pass.
  if (Distance(block.centre, block.previousCentre) < kRestMove) {
    for (int j = 0; j < 8; ++j) block.corners[j] = block.savedCorners[j];
    block.touched = 0;
  }
  // Verlet velocities, the fall included; corners whose contact response already set their
  // velocity keep it.
  for (int j = 0; j < 8; ++j) {
    if (!block.contact[j]) Subtract(block.velocities[j], block.corners[j], block.savedCorners[j]);
    block.savedCorners[j] = block.corners[j];
    // Nor does a corner move faster than a file may say.
    Vec3& v = block.velocities[j];
    if (stop) v.Zero();
    if (!world_limits::Within(v, world_limits::kSpeed))
      v.Set(std::clamp(v.x, -world_limits::kSpeed, world_limits::kSpeed),
            std::clamp(v.y, -world_limits::kSpeed, world_limits::kSpeed),
            std::clamp(v.z, -world_limits::kSpeed, world_limits::kSpeed));
  }
  // A sound only in the first step of a contact, by the fall from the highest point reached
  // since the previous one.
  if (block.touched && !block.touchedBefore) {
    const int sound = CollisionSoundFor(Distance(block.referenceCentre, block.centre));
    if (sound >= 0) block.collisionSounds[sound].Play();
  }
  if (block.touched || block.centre.z > block.referenceCentre.z)
    block.referenceCentre = block.centre;
  block.touchedBefore = block.touched;
}

void BlockSet::StepBodies() {
  FinishPickRefresh();  // the corners are about to move
  MoveBodies();
}

void BlockSet::MoveBodies() {
  const int count = Count();
  for (int i = 0; i < count; ++i) PredictBlock(*At(i));
  const bool beside = ShareRelaxPairs(count);
  for (int pass = 0; pass < kRelaxationPasses; ++pass) {
    DoOwnWork(count);
    // Every ordered pair in list order. The pair tests move corners, never centres, so the
    // lists checked against this pass's centres hold every pair within reach.
    if (contactGrid.Update(Items(), count, ListVersion())) {
      RelaxPairs(count, pass == 0);
    } else {
      for (int a = 0; a < count; ++a)
        for (int b = 0; b < count; ++b)
          if (b != a) TestBlock(*At(a), *At(b));
    }
  }
  if (beside) EndSharedPairs();
  for (int i = 0; i < count; ++i) FinishBlock(*At(i));
}

uint64_t BlockSet::Step(platform::render::RenderDevice* device, const Block* /*held*/,
                        BackgroundJob::Work beside, void* beside_context) {
  FinishPickRefresh();
  frontMatrix_ = ScreenMatrix(device);
  // The front fill in two works on the second core: the table, then the blocks and the marks.
  const BackgroundJob::Work fill_table = [](void* context) {
    auto* set = static_cast<BlockSet*>(context);
    set->FillTable(&set->front_, set->frontMatrix_);
  };
  const BackgroundJob::Work fill_blocks = [](void* context) {
    auto* set = static_cast<BlockSet*>(context);
    set->FillBlocks(&set->front_, set->frontMatrix_, nullptr);
    set->MarkEdges();
  };
  if (!settleCheck) {
    if (!FrontNeedsFill(frontMatrix_)) return 0;
    // A few blocks moved (one in the hand): only the rows they left and reach are filled again.
    if (FrontRowsSuffice(frontMatrix_, &refillFirst_, &refillEnd_)) {
      ++frontRowRefills_;
      pickJob_.Start(
          [](void* context) {
            auto* set = static_cast<BlockSet*>(context);
            set->RefillFrontRows(set->frontMatrix_, set->refillFirst_, set->refillEnd_);
            set->MarkEdges();
          },
          this);
      return 0;
    }
    pickJob_.Start(fill_table, this, /*more_soon=*/true);
    pickJob_.Start(fill_blocks, this);
    return 0;
  }
  uint64_t beside_job = 0;
  if (beside) {
    pickJob_.Start(beside, beside_context, /*more_soon=*/true);
    beside_job = pickJob_.Started();
  }
  // The table's part reads no block: the second core fills it while the bodies move, and takes
  // the blocks up as soon as they have.
  pickJob_.Start(fill_table, this, /*more_soon=*/true);
  MoveBodies();
  // Begun with the table, the fill is finished even where it would give what the buffer held:
  // it starts at once, and what it is made from is noted while it runs.
  edgeMaskFresh_ = false;
  pickJob_.Start(fill_blocks, this);
  KeyPickInputs(frontMatrix_, &frontInputs_);
  frontVersion_ = listVersion_;
  ++frontFills_;
  return beside_job;
}

bool BlockSet::AllAtRest() const {
  if (!settleCheck) return false;
  for (int i = 0; i < Count(); ++i) {
    const Block* b = At(i);
    if (Distance(b->centre, b->previousCentre) > kRestMove && b->centre.z > kLostHeight)
      return false;
  }
  return true;
}
