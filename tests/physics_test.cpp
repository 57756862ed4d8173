// The physics step: falling, resting, landing sounds, leaving the table, the at-rest query, and
// the broad phase giving exactly what visiting every pair gives.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>

#include "all_pairs_step.h"
#include "blocks/physics_step.h"
#include "body_fixture.h"
#include "collapse_scenes.h"
#include "platform/portable_rand.h"
#include "uniform_draw.h"

// Allocations made while `counting` is set, by every thread of the test program.
namespace {
bool counting = false;
long allocations = 0;
}  // namespace

// The replacements pair malloc with free, which the compiler cannot see across them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t size) {
  if (counting) ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
#pragma GCC diagnostic pop

namespace {

class Physics : public BodyFixture {
 protected:
  void SetUp() override {
    BodyFixture::SetUp();
    set().settleCheck = 1;
  }
  void Steps(int n) {
    for (int i = 0; i < n; ++i) set().StepBodies();
  }
  static bool Finite(const Block& b) {
    for (const Vec3& c : b.corners)
      if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z)) return false;
    return true;
  }
};

TEST_F(Physics, WithTheFlagClearAStepMovesNothingAndNothingIsAtRest) {
  Block* b = BlockAt(0, 0, 10);
  b->velocities[0] = {1, 0, 0};
  Vec3 before[8];
  std::copy(b->corners, b->corners + 8, before);
  set().settleCheck = 0;
  for (int i = 0; i < 5; ++i) set().Step(t.app().Graphics().Device(), nullptr);
  EXPECT_TRUE(SameBits(b->corners, before, 8));
  EXPECT_FALSE(set().AllAtRest());
}

TEST_F(Physics, ABlockRestingOnTheTableStaysExactlyWhereItIs) {
  Block* b = BlockAt(3, -4, 1);
  Vec3 before[8];
  std::copy(b->corners, b->corners + 8, before);
  Steps(50);
  EXPECT_TRUE(SameBits(b->corners, before, 8));
  EXPECT_TRUE(set().AllAtRest());
  EXPECT_EQ(Collisions(), 0);
}

TEST_F(Physics, AFreeCornerGainsATenthOfDownwardSpeedPerStep) {
  Block* b = BlockAt(0, 0, 20);
  const float start = b->corners[5].z;
  Steps(1);
  EXPECT_NEAR(b->velocities[5].z, -0.1f, 1e-5f);
  Steps(1);
  EXPECT_NEAR(b->velocities[5].z, -0.2f, 1e-5f);
  EXPECT_NEAR(b->corners[5].z, start - 0.3f, 1e-4f);
  EXPECT_FALSE(set().AllAtRest());
  EXPECT_EQ(b->touched, 0);
}

TEST_F(Physics, FallHeightsChooseTheCollisionSound) {
  EXPECT_EQ(CollisionSoundFor(0.25f), -1);
  EXPECT_EQ(CollisionSoundFor(0.2999f), -1);
  EXPECT_EQ(CollisionSoundFor(0.3f), 0);
  EXPECT_EQ(CollisionSoundFor(0.4999f), 0);
  EXPECT_EQ(CollisionSoundFor(0.5f), 1);
  EXPECT_EQ(CollisionSoundFor(1.0f), 2);
  EXPECT_EQ(CollisionSoundFor(2.0f), 3);
  EXPECT_EQ(CollisionSoundFor(3.0f), 3);
  EXPECT_EQ(CollisionSoundFor(4.0f), 4);
  EXPECT_EQ(CollisionSoundFor(NAN), -1);
}

TEST_F(Physics, ALandingSoundsOnceInTheFirstStepOfTheContactOnly) {
  Block* b = BlockAt(0, 0, 4);  // 3.0 above its resting height
  int steps = 0;
  while (!b->touched && steps < 100) Steps(1), ++steps;
  ASSERT_TRUE(b->touched);
  EXPECT_EQ(b->referenceCentre, b->centre) << "the reference follows the contact";
  EXPECT_EQ(Collisions(3), 1) << "collision4 for a fall of about 3";
  EXPECT_EQ(Collisions(), 1);
  // Pressed onto the table again from the same height: silent while the contact goes on, heard
  // when it is new.
  for (uint8_t continued : {1, 0}) {
    b->PlaceAt({-1, -1, 0});
    b->referenceCentre.z += 3.0f;
    for (Vec3& v : b->velocities) v = {0, 0, -0.5f};
    b->touchedBefore = continued;
    t.platform().ClearSounds();
    Steps(1);
    EXPECT_TRUE(b->touched);
    EXPECT_EQ(Collisions(3), continued ? 0 : 1);
  }
}

TEST_F(Physics, ALowDropLandsSilently) {
  Block* b = BlockAt(0, 0, 1.25f);  // 0.25 above its resting height
  int steps = 0;
  while (!b->touched && steps < 10) Steps(1), ++steps;
  ASSERT_TRUE(b->touched);
  EXPECT_NEAR(b->referenceCentre.z, 1.0f, 0.01f);
  EXPECT_EQ(Collisions(), 0);
}

TEST_F(Physics, ABounceThatRisesAgainSoundsAgain) {
  // Thrown down from 2 above its resting height: it lands, bounces up about 0.36 and lands again.
  Block* b = BlockAt(0, 0, 3);
  for (Vec3& v : b->velocities) v = {0, 0, -0.5f};
  float top = 0;
  int first = -1, second = -1;
  for (int i = 0; i < 60; ++i) {
    Steps(1);
    if (first >= 0 && second < 0) top = std::max(top, b->centre.z);
    if (Collisions() == 1 && first < 0) first = i;
    if (Collisions() == 2 && second < 0) second = i;
  }
  EXPECT_EQ(Collisions(3), 1) << "the throw: a fall of 2";
  EXPECT_EQ(Collisions(0), 1) << "the bounce: a fall from its top of 0.3 to 0.5";
  EXPECT_EQ(Collisions(), 2);
  EXPECT_GT(second, first + 3);
  EXPECT_GT(top, b->centre.z + 0.3f);
}

TEST_F(Physics, ABlockSlidingOffTheTableFallsForEverAndStopsCountingForRest) {
  Block* b = BlockAt(28, 0, 1);
  for (Vec3& v : b->velocities) v = {0.5f, 0, 0};
  int steps = 0;
  while (b->onTable && steps < 200) Steps(1), ++steps;
  ASSERT_FALSE(b->onTable);
  EXPECT_GE(b->corners[0].x, 30.0f) << "it left once no corner was over the square";
  Steps(100);
  EXPECT_LT(b->centre.z, -100.0f);
  EXPECT_TRUE(set().AllAtRest()) << "lost below -100, still falling";
  Steps(2000);
  EXPECT_LT(b->centre.z, -100000.0f);
  EXPECT_TRUE(Finite(*b));
}

TEST_F(Physics, ABlockStillFallingAboveMinusAHundredKeepsTheRestQueryWaiting) {
  BlockAt(0, 0, 1);
  Block* lost = BlockAt(100, 0, -50);
  lost->onTable = 0;
  Steps(1);
  EXPECT_FALSE(set().AllAtRest());
  Block* deep = BlockAt(100, 0, -150);
  deep->onTable = 0;
  for (Vec3& v : deep->velocities) v = {0, 0, -3};
  lost->PlaceAt({100, 0, -160});
  Steps(1);
  EXPECT_GT(std::fabs(deep->centre.z - deep->previousCentre.z), 0.015f);
  EXPECT_TRUE(set().AllAtRest());
}

TEST_F(Physics, CornersInOnePlaceNeverTurnIntoNaN) {
  Block* b = BlockAt(0, 0, 5);
  b->corners[1] = b->corners[0];
  RestoreShape(*b);
  EXPECT_TRUE(Finite(*b));
  Block* flat = BlockAt(0, 0, 9);
  for (Vec3& c : flat->corners) c = {1, 2, 9};
  RestoreShape(*flat);
  EXPECT_TRUE(Finite(*flat));
  EXPECT_NEAR(flat->corners[6].z - flat->corners[0].z, 2.0f, 1e-5f) << "rebuilt along its axes";
  Steps(100);
  EXPECT_TRUE(Finite(*b));
  EXPECT_TRUE(Finite(*flat));
}

// 64-bit FNV-1a over the bits of every corner.
uint64_t Hash(const BlockSet& set, uint64_t h) {
  for (int i = 0; i < set.Count(); ++i) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(set.At(i)->corners);
    for (size_t k = 0; k < sizeof(Vec3) * 8; ++k) h = (h ^ bytes[k]) * 1099511628211u;
  }
  return h;
}

// The starting scene after the door, step by step: the same on every run and every build.
TEST(PhysicsDeterminism, TheStartingSceneSettlesTheSameWayEveryTime) {
  TestApp t;
  ASSERT_TRUE(t.created());
  t.EnterPlay();
  BlockSet& set = t.world().blockSet;
  set.settleCheck = 1;
  uint64_t h = 14695981039346656037u;
  int steps = 0;
  for (; steps < 60; ++steps) {
    set.StepBodies();
    h = Hash(set, h);
  }
  EXPECT_TRUE(set.AllAtRest());
  EXPECT_EQ(h, 0x4376c0c611ae344eu) << std::hex << h;

  scenes::LeanTowers(set);
  h = 14695981039346656037u;
  for (steps = 0; steps < 300; ++steps) {
    set.StepBodies();
    h = Hash(set, h);
  }
  EXPECT_TRUE(set.AllAtRest());
  EXPECT_EQ(h, 0xdabc8713a2c9cadfu) << std::hex << h;
}

TEST(PhysicsAllocation, AStepAllocatesNothing) {
  TestApp t;
  ASSERT_TRUE(t.created());
  t.EnterPlay();
  BlockSet& set = t.world().blockSet;
  set.settleCheck = 1;
  counting = true;
  for (int step = 0; step < 20; ++step) set.StepBodies();  // the towers settle, silently
  counting = false;
  EXPECT_EQ(allocations, 0);
  EXPECT_TRUE(set.AllAtRest());
}

// The game's step beside the direct all-pairs transcription, compared bit for bit after every
// step.
class BroadPhase : public BodyFixture {
 protected:
  void SetUp() override {
    BodyFixture::SetUp();
    other = std::make_unique<BlockSet>();
    ASSERT_TRUE(other->Initialise(&t.app(), 640, 480));
  }
  void Copy() {
    other->RemoveAll();
    for (int i = 0; i < set().Count(); ++i) {
      const Block* from = set().At(i);
      Block* b = BlockAt(*other, 0, 0, 0);
      std::copy(from->corners, from->corners + 8, b->corners);
      std::copy(from->savedCorners, from->savedCorners + 8, b->savedCorners);
      std::copy(from->velocities, from->velocities + 8, b->velocities);
      std::copy(from->restLengths, from->restLengths + 16, b->restLengths);
      std::copy(from->axes, from->axes + 3, b->axes);
      b->reachRadius = from->reachRadius;
      b->centre = from->centre;
      b->previousCentre = from->previousCentre;
      b->referenceCentre = from->referenceCentre;
    }
  }
  // Runs both; returns the first step after which they differ, or -1.
  int FirstDifference(int steps) {
    set().settleCheck = other->settleCheck = 1;
    for (int s = 0; s < steps; ++s) {
      set().StepBodies();
      all_pairs::Step(*other);
      for (int i = 0; i < set().Count(); ++i) {
        const Block& a = *set().At(i);
        const Block& b = *other->At(i);
        if (!SameBits(a.corners, b.corners, 8) || !SameBits(a.velocities, b.velocities, 8) ||
            !SameBits(a.savedCorners, b.savedCorners, 8) || !SameBits(a.axes, b.axes, 3) ||
            !SameBits(&a.centre, &b.centre, 1) ||
            !SameBits(&a.referenceCentre, &b.referenceCentre, 1) ||
            !std::equal(a.contact, a.contact + 8, b.contact) || a.touched != b.touched ||
            a.touchedBefore != b.touchedBefore || a.onTable != b.onTable)
          return s;
      }
    }
    return -1;
  }
  int Off() {
    int n = 0;
    for (int i = 0; i < set().Count(); ++i) n += !set().At(i)->onTable;
    return n;
  }

  std::unique_ptr<BlockSet> other;
};

TEST_F(BroadPhase, TheStartingTowersPushedOverFallExactlyAsWithEveryPair) {
  t.EnterPlay();
  scenes::LeanTowers(set());
  Copy();
  EXPECT_EQ(FirstDifference(300), -1);
  EXPECT_TRUE(set().AllAtRest());
  EXPECT_GT(Collisions(), 100);
}

TEST_F(BroadPhase, ThreeHundredRandomBlocksFallExactlyAsWithEveryPair) {
  scenes::AddRandomBlocks(t, set(), 300, 12345);
  Copy();
  EXPECT_EQ(FirstDifference(120), -1);
  EXPECT_GT(Off(), 0) << "some left the table and fell away";
  EXPECT_GT(Collisions(), 100);
}

// Other random heaps, so that the skips meet more kinds of near miss.
TEST_F(BroadPhase, RandomBlocksOfOtherSeedsFallExactlyAsWithEveryPair) {
  for (const uint32_t seed : {7u, 2024u, 31337u}) {
    set().RemoveAll();
    scenes::AddRandomBlocks(t, set(), 200, seed);
    Copy();
    EXPECT_EQ(FirstDifference(100), -1) << "seed " << seed;
  }
}

// The pushed-over towers copied nine times in depth, as the grab handles copy them: a thousand
// blocks of one size, so that the step shares their pairs with the second core, and crowded
// enough that the two cores' blocks are often neighbours.
TEST_F(BroadPhase, AThousandHandleCopiesOnTwoCoresFallExactlyAsWithEveryPair) {
  t.EnterPlay();
  scenes::LeanTowers(set());
  scenes::CopyTowersInDepth(t, set(), 1000, 31);
  Copy();
  EXPECT_EQ(FirstDifference(40), -1);
  EXPECT_GT(set().PairsBeside(), 0u);  // how many depends on how soon its thread runs
  EXPECT_GT(Collisions(), 100);
}

// A narrow, tall heap of spinning blocks: they land tilted on the table and on each other, so
// the boxes meet at every angle and many pairs stay in contact for many steps.
TEST_F(BroadPhase, SpinningBlocksPilingUpFallExactlyAsWithEveryPair) {
  platform::PortableRand random;
  random.Seed(5);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  for (int i = 0; i < 120; ++i) {
    Block* b = BlockAt(uniform(-5, 5), uniform(-5, 5), 1 + 1.5f * float(i));
    // v = v0 + w x (corner - centre): a spin about a random axis.
    const Vec3 v0{uniform(-0.05f, 0.05f), uniform(-0.05f, 0.05f), 0};
    const Vec3 w{uniform(-0.1f, 0.1f), uniform(-0.1f, 0.1f), uniform(-0.1f, 0.1f)};
    for (int k = 0; k < 8; ++k) {
      Vec3 r, spin;
      Cross(spin, w, Subtract(r, b->corners[k], b->centre));
      Add(b->velocities[k], v0, spin);
    }
  }
  Copy();
  EXPECT_EQ(FirstDifference(250), -1);
  EXPECT_GT(Collisions(), 100);
}

// Blocks carried elsewhere between steps (as the hand does), a few at a time and many at once,
// onto and beside others: the contact lists follow them, whether made again for the few that
// moved or made whole.
TEST_F(BroadPhase, BlocksCarriedBetweenStepsAreMetWhereTheyAreNow) {
  scenes::AddRandomBlocks(t, set(), 150, 777);
  Copy();
  platform::PortableRand random;
  random.Seed(31);
  auto carry = [](Block& b, const Vec3& by) {
    for (int k = 0; k < 8; ++k) {
      AddInPlace(b.corners[k], by);
      AddInPlace(b.savedCorners[k], by);
    }
    for (Vec3* p : {&b.centre, &b.previousCentre, &b.referenceCentre}) AddInPlace(*p, by);
  };
  // Each list ascends without repeats and holds every block within reach, whatever drifted.
  auto lists_hold_every_reach = [&] {
    ContactGrid& grid = set().contactGrid;
    if (!grid.Update(set().Items(), set().Count(), set().ListVersion())) return false;
    for (int a = 0; a < set().Count(); ++a) {
      const uint32_t *begin = grid.CandidatesBegin(a), *end = grid.CandidatesEnd(a);
      if (std::adjacent_find(begin, end, std::greater_equal<uint32_t>()) != end) return false;
      for (int b = 0; b < set().Count(); ++b)
        if (b != a && grid.WithinReach(a, b) && !std::binary_search(begin, end, uint32_t(b)))
          return false;
    }
    return true;
  };
  const long relists = set().contactGrid.Relists();
  for (int round = 0; round < 30; ++round) {
    ASSERT_EQ(FirstDifference(4), -1) << "round " << round;
    ASSERT_TRUE(lists_hold_every_reach()) << "round " << round;
    const int moved = round % 5 == 4 ? 60 : 1 + round % 3;
    for (int m = 0; m < moved; ++m) {
      const int from = int(random.Next()) % set().Count(), to = int(random.Next()) % set().Count();
      // Next to another block, a little above it.
      Vec3 by;
      Subtract(by, set().At(to)->centre, set().At(from)->centre);
      by.x += 1.5f;
      by.z += 0.5f;
      carry(*set().At(from), by);
      carry(*other->At(from), by);
    }
  }
  EXPECT_GT(set().contactGrid.Relists(), relists) << "the few-block path was taken";
  EXPECT_GT(Collisions(), 100);
}

}  // namespace
