// The physics step of the block set and the at-rest query the door waits for.
#include "blocks/physics_step.h"

#include <cmath>

#include "blocks/block_set.h"
#include "blocks/contact.h"
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
  Vec3* c = block.corners;
  // d = c[a] - c[b], L = |d|; both ends move half the error along d / L. Later pairs see the
  // corrected corners. Two corners in one place give no direction: that pair waits a pass.
  for (int i = 0; i < 16; ++i) {
    Vec3& a = c[kEdgePairs[i][0]];
    Vec3& b = c[kEdgePairs[i][1]];
    Vec3 d;
    Subtract(d, a, b);
    const float length = std::sqrt(LengthSquared(d));
    if (!(length > 0.0f) || !std::isfinite(length)) continue;
    const float k = (block.restLengths[i] - length) * 0.5f;
    const Vec3 move{d.x / length * k, d.y / length * k, d.z / length * k};
    AddInPlace(a, move);
    b.Set(b.x - move.x, b.y - move.y, b.z - move.z);
  }
  // Each axis is the sum of the four edges along it, normalised; a zero sum keeps the old axis.
  // The three are not made orthogonal.
  const auto edges = [c](int p0, int q0, int p1, int q1, int p2, int q2, int p3, int q3) {
    Vec3 sum, e;
    Subtract(sum, c[p0], c[q0]);
    AddInPlace(sum, Subtract(e, c[p1], c[q1]));
    AddInPlace(sum, Subtract(e, c[p2], c[q2]));
    AddInPlace(sum, Subtract(e, c[p3], c[q3]));
    return sum;
  };
  Vec3 axes[3] = {edges(6, 7, 5, 4, 2, 3, 1, 0), edges(6, 5, 7, 4, 2, 1, 3, 0),
                  edges(7, 3, 6, 2, 5, 1, 4, 0)};
  for (int i = 0; i < 3; ++i)
    if (NormalizeInPlace(axes[i])) block.axes[i] = axes[i];
  Vec3 sum;
  for (int k = 0; k < 8; ++k) AddInPlace(sum, c[k]);
  Scale(block.centre, sum, 0.125f);
  // The rigid box around the centre: corner k = centre +- hx +- hy +- hz by the corner table.
  Vec3 h[3];
  Scale(h[0], block.axes[0], block.size.x / 2);
  Scale(h[1], block.axes[1], block.size.y / 2);
  Scale(h[2], block.axes[2], block.size.z / 2);
  static constexpr float kSigns[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                         {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
  for (int k = 0; k < 8; ++k) {
    Vec3 p = block.centre;
    for (int i = 0; i < 3; ++i) {
      if (kSigns[k][i] > 0)
        AddInPlace(p, h[i]);
      else
        Subtract(p, p, h[i]);
    }
    c[k] = p;
  }
}

int CollisionSoundFor(float fall_height) {
  if (!(fall_height >= kSilentBelow)) return -1;
  for (int band = 0; band < 4; ++band)
    if (fall_height < kBandLimits[band]) return band;
  return 4;
}

void FinishBlock(Block& block) {
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
  const int count = Count();
  for (int i = 0; i < count; ++i) PredictBlock(*At(i));
  for (int pass = 0; pass < kRelaxationPasses; ++pass) {
    for (int i = 0; i < count; ++i) {
      if (table) TestTable(*At(i), *table);
      RestoreShape(*At(i));
    }
    // Every ordered pair in list order. The pair tests move corners, never centres, so the grid
    // built from this pass's centres finds exactly the pairs within reach, and visiting each
    // block's neighbours in list order keeps the order of every test that does anything.
    // A ball around the block's corners, made at its first pair within reach and again after a
    // test moved them, skips the pairs whose test provably does nothing.
    if (contactGrid.Build(*this)) {
      for (int a = 0; a < count; ++a) {
        Block& block = *At(a);
        CornerBall ball;
        bool ball_fits = false;
        contactGrid.ForEachNeighbour(a, [&](int b) {
          if (!contactGrid.WithinReach(a, b)) return;
          const Block& other = *At(b);
          if (!ball_fits) ball = BoundCorners(block), ball_fits = true;
          if (ClearlyApart(ball, block, other)) return;
          if (TestBlock(block, other)) ball_fits = false;
        });
      }
    } else {
      for (int a = 0; a < count; ++a)
        for (int b = 0; b < count; ++b)
          if (b != a) TestBlock(*At(a), *At(b));
    }
  }
  for (int i = 0; i < count; ++i) FinishBlock(*At(i));
}

void BlockSet::Step(platform::render::RenderDevice* device, const Block* /*held*/) {
  if (settleCheck) StepBodies();
  RefreshPickBuffer(device, nullptr);
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
