// The contact tests: a block against the table top and against another block, and the velocity
// response of a corner in contact.
#include "blocks/contact.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "body_fixture.h"
#include "platform/portable_rand.h"
#include "uniform_draw.h"

namespace {

void ExpectVec(const Vec3& got, const Vec3& want) {
  EXPECT_FLOAT_EQ(got.x, want.x);
  EXPECT_FLOAT_EQ(got.y, want.y);
  EXPECT_FLOAT_EQ(got.z, want.z);
}

TEST(Response, ReflectsTheNormalPartAndTakesFrictionOffTheTangentialPart) {
  Vec3 v{0.5f, 0, -1};
  uint8_t flag = 0;
  RespondToContact({0, 0, 1}, v, flag, 0.01f, 0.99f);
  ExpectVec(v, {0.49f, 0, 0.99f});
  EXPECT_EQ(flag, 1);
  // A normal along x takes its tangents from the y axis instead.
  v = {-1, 0.5f, 0};
  RespondToContact({1, 0, 0}, v, flag, 0.1f, 0.99f);
  ExpectVec(v, {0.99f, 0.4f, 0});
}

TEST(Response, ASlowSlideStopsAndAFastDepartureIsLeftAlone) {
  Vec3 v{0.005f, -0.004f, -1};
  uint8_t flag = 0;
  RespondToContact({0, 0, 1}, v, flag, 0.01f, 0.99f);
  ExpectVec(v, {0, 0, 0.99f});
  v = {3, 0, 1000.5f};
  flag = 0;
  RespondToContact({0, 0, 1}, v, flag, 0.01f, 0.99f);
  EXPECT_EQ(v, (Vec3{3, 0, 1000.5f}));
  EXPECT_EQ(flag, 0);
}

// Several corners at once give bit for bit what one call per corner gives: slides, stops, fast
// departures, a NaN, and normals on both sides of the tangent choice, one to seven corners.
TEST(Response, ManyCornersAtOnceAreAnsweredAsOneByOne) {
  platform::PortableRand random;
  random.Seed(99);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  for (int round = 0; round < 400; ++round) {
    Vec3 n{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
    NormalizeInPlace(n);
    const int count = 1 + round % 7;
    Vec3 one[7], many[7];
    uint8_t one_flags[7] = {}, many_flags[7] = {};
    Vec3* velocities[7];
    uint8_t* flags[7];
    for (int k = 0; k < count; ++k) {
      const float scale = (round + k) % 3 == 0 ? 0.01f : 1.0f;  // some slower than the friction
      one[k] = {uniform(-1, 1) * scale, uniform(-1, 1) * scale, uniform(-1, 1) * scale};
      if ((round + k) % 11 == 0) one[k] = {n.x * 2000, n.y * 2000, n.z * 2000};
      if ((round + k) % 37 == 0) one[k].y = std::nanf("");
      many[k] = one[k];
      velocities[k] = &many[k], flags[k] = &many_flags[k];
    }
    for (int k = 0; k < count; ++k) RespondToContact(n, one[k], one_flags[k], 0.1f, 0.99f);
    RespondToContacts(n, velocities, flags, count, 0.1f, 0.99f);
    for (int k = 0; k < count; ++k) {
      EXPECT_EQ(std::memcmp(&one[k], &many[k], sizeof(Vec3)), 0)
          << "round " << round << " corner " << k;
      EXPECT_EQ(one_flags[k], many_flags[k]) << "round " << round << " corner " << k;
    }
  }
}

TEST(Response, TheNearestSideWinsAndTheEarlierOfEqualDepthsWins) {
  const Vec3 e{2, 2, 2};
  float depth;
  EXPECT_EQ(contact::NearestSide({1, 1, 1}, e, &depth), 0);  // the middle: all six equal
  EXPECT_EQ(contact::NearestSide({1.5f, 1.5f, 0.5f}, e, &depth), 2);
  EXPECT_FLOAT_EQ(depth, 0.5f);
  EXPECT_EQ(contact::NearestSide({1.5f, 0.5f, 1.9f}, e, &depth), 5);
  EXPECT_NEAR(depth, 0.1f, 1e-6f);
}

class Contact : public BodyFixture {};

TEST_F(Contact, ACornerSinkingOverTheTableIsLiftedWithItsVelocityReflected) {
  Block* b = BlockAt(0, 0, 1);
  TestTable(*b, table());
  EXPECT_EQ(b->touched, 0) << "corners from 0 to 2 do not touch";
  b->corners[2].z = -0.05f;
  b->velocities[2] = {0.5f, 0, -1};
  TestTable(*b, table());
  EXPECT_EQ(b->corners[2].z, 0.0f);
  ExpectVec(b->velocities[2], {0.49f, 0, 0.99f});
  EXPECT_EQ(b->contact[2], 1);
  EXPECT_EQ(b->contact[1], 0);
  EXPECT_EQ(b->touched, 1);
}

TEST_F(Contact, OneCornerStrictlyInsideTheSquareCarriesTheWholeBlock) {
  Block* b = BlockAt(30.5f, 0, 0.95f);  // corners at x 29.5 and 31.5, bottom at -0.05
  TestTable(*b, table());
  EXPECT_EQ(b->onTable, 1);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(b->corners[k].z, 0.0f) << k;
}

TEST_F(Contact, TheSquaresBorderDoesNotCarryABlock) {
  Block* b = BlockAt(31, 0, 0.95f);  // corners at x 30 and 32
  TestTable(*b, table());
  EXPECT_EQ(b->onTable, 0);
  EXPECT_EQ(b->touched, 0);
  for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(b->corners[k].z, -0.05f) << "not lifted";
  // Once off, a corner that comes up under the square is held just below the plane.
  b->PlaceAt({20, 0, -1.5f});
  TestTable(*b, table());
  EXPECT_FLOAT_EQ(b->corners[4].z, -0.015f);
  EXPECT_FLOAT_EQ(b->corners[0].z, -1.5f);
}

TEST_F(Contact, TheTableFollowsItsCentre) {
  t.world().table.PlaceAt({100, 0, -50});  // display space: physics y is -50
  Block* b = BlockAt(100, -50, 0.95f);
  TestTable(*b, table());
  EXPECT_EQ(b->onTable, 1);
  EXPECT_EQ(b->corners[0].z, 0.0f);
}

TEST_F(Contact, IdenticalBlocksMarkEveryContactButMoveNothing) {
  Block* a = BlockAt(0, 0, 1);
  Block* b = BlockAt(0, 0, 1);
  Vec3 before[8];
  std::copy(a->corners, a->corners + 8, before);
  TestBlock(*a, *b);
  EXPECT_TRUE(SameBits(a->corners, before, 8));
  for (int k = 0; k < 8; ++k) EXPECT_EQ(a->contact[k], 1);
  EXPECT_EQ(a->touched, 1);
  EXPECT_EQ(b->touched, 0) << "only the tested block changes";
}

TEST_F(Contact, CentresFartherApartThanTheReachAreNeverTested) {
  Block* a = BlockAt(0, 0, 1);
  Block* b = BlockAt(0, 0, 1);  // overlapping exactly, but a's centre says otherwise
  a->centre = {a->reachRadius * 1.0001f, 0, 1};
  TestBlock(*a, *b);
  EXPECT_EQ(a->touched, 0);
  a->centre = {a->reachRadius, 0, 1};  // exactly at the reach: tested
  TestBlock(*a, *b);
  EXPECT_EQ(a->touched, 1);
}

TEST_F(Contact, AProbeOnAFaceCountsForCornersButNotForEdgesAndFaces) {
  Block* below = BlockAt(0, 0, 1);
  Block* a = BlockAt(0, 0, 3);  // standing exactly on it
  for (Vec3& v : a->velocities) v = {0, 0, -0.5f};
  Vec3 before[8];
  std::copy(a->corners, a->corners + 8, before);
  TestBlock(*a, *below);
  EXPECT_EQ(a->touched, 1) << "its bottom corners lie on the box";
  EXPECT_TRUE(SameBits(a->corners, before, 8));
  for (int k = 0; k < 8; ++k) {
    EXPECT_EQ(a->contact[k], 0) << "no face sample was strictly inside";
    EXPECT_EQ(a->velocities[k].z, -0.5f);
  }
}

TEST_F(Contact, AFaceSunkIntoTheBlockBelowIsPushedOutAndBounces) {
  Block* below = BlockAt(0, 0, 1);
  Block* a = BlockAt(0, 0, 2.95f);  // 0.05 into it
  for (Vec3& v : a->velocities) v = {0, 0, -0.5f};
  TestBlock(*a, *below);
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(a->corners[k].z, 2.0f) << "the middle sample lifts the whole face";
    ExpectVec(a->velocities[k], {0, 0, 0.495f});
    EXPECT_EQ(a->contact[k], 1);
  }
  for (int k = 4; k < 8; ++k) {
    EXPECT_FLOAT_EQ(a->corners[k].z, 3.95f);
    EXPECT_EQ(a->velocities[k].z, -0.5f);
    EXPECT_EQ(a->contact[k], 0);
  }
}

TEST_F(Contact, ACornerInsideIsPushedOutThroughTheNearestSide) {
  Block* b = BlockAt(0, 0, 1);           // x from -1 to 1
  Block* a = BlockAt(1.9f, 1.8f, 2.8f);  // corner 0 at (0.9, 0.8, 1.8): 0.1 from b's high x side
  const Vec3 others[7] = {a->corners[1], a->corners[2], a->corners[3], a->corners[4],
                          a->corners[5], a->corners[6], a->corners[7]};
  TestBlock(*a, *b);
  EXPECT_FLOAT_EQ(a->corners[0].x, 1.0f);
  EXPECT_FLOAT_EQ(a->corners[0].y, 0.8f);
  EXPECT_TRUE(SameBits(a->corners + 1, others, 7));
  EXPECT_EQ(a->touched, 1);
  EXPECT_EQ(a->contact[0], 0) << "corner pushes give no velocity";
}

TEST_F(Contact, ACentreInsideMovesTheWholeBlockOnEveryAxisAtOnce) {
  Block* b = BlockAt(0, 0, 1);  // box from (-1, -1, 0)
  Block* a = BlockAt(0, 0, 10);
  // The centre the last pass left, inside b at (0.5, 1.5, 1.0) of its box: out by -0.5 along x
  // and +0.5 along y; exactly in the middle along z, so no move there.
  a->centre = {-0.5f, 0.5f, 1.0f};
  Vec3 before[8];
  std::copy(a->corners, a->corners + 8, before);
  TestBlock(*a, *b);
  for (int k = 0; k < 8; ++k) {
    ExpectVec(a->corners[k], {before[k].x - 0.5f, before[k].y + 0.5f, before[k].z});
    EXPECT_EQ(a->contact[k], 1);
  }
  EXPECT_EQ(a->touched, 1);
}

// Block b turned by `turn` about z and `tilt` about its own x, centred at c.
void Pose(Block* b, const Vec3& c, float turn, float tilt) {
  const Vec3 x{std::cos(turn), std::sin(turn), 0};
  const Vec3 y{-std::sin(turn) * std::cos(tilt), std::cos(turn) * std::cos(tilt), std::sin(tilt)};
  Vec3 z;
  Cross(z, x, y);
  b->axes[0] = x, b->axes[1] = y, b->axes[2] = z;
  b->corners[0] = {c.x - x.x - y.x - z.x, c.y - x.y - y.y - z.y, c.z - x.z - y.z - z.z};
  b->BuildCorners();
  b->centre = c;
}

TEST_F(Contact, APairFoundApartIsOneWhoseTestChangesNothing) {
  Block* a = BlockAt(0, 0, 0);
  Block* b = BlockAt(0, 0, 0);
  platform::PortableRand random;
  random.Seed(99);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  int apart = 0, near_misses = 0;
  for (int i = 0; i < 4000; ++i) {
    // Poses within reach of each other, some touching, some barely apart, far from the origin
    // now and then, where rounding is coarser.
    const Vec3 at{uniform(-40, 40), uniform(-40, 40), uniform(-20, 200)};
    Pose(b, at, uniform(0, 6.3f), uniform(-1, 1));
    Pose(a, {at.x + uniform(-4, 4), at.y + uniform(-4, 4), at.z + uniform(-4, 4)}, uniform(0, 6.3f),
         uniform(-1, 1));
    a->touched = 0;
    for (uint8_t& flag : a->contact) flag = 0;
    if (!ClearlyApart(BoundCorners(*a), *a, *b)) continue;
    ++apart;
    Vec3 before[8];
    std::copy(a->corners, a->corners + 8, before);
    TestBlock(*a, *b);
    ASSERT_TRUE(SameBits(a->corners, before, 8)) << "pair " << i;
    ASSERT_EQ(a->touched, 0) << "pair " << i;
    for (uint8_t flag : a->contact) ASSERT_EQ(flag, 0);
    // How close the skip comes: a's nearest corner within half a block of b's box.
    Vec3 l = contact::LocalCoordinates(a->corners[0], *b);
    near_misses += l.x > -1 && l.x < 3 && l.y > -1 && l.y < 3 && l.z > -1 && l.z < 3;
  }
  EXPECT_GT(apart, 1000);
  EXPECT_GT(near_misses, 50);
}

TEST_F(Contact, BlocksThatTouchOrHoldANaNAreNeverFoundApart) {
  Block* below = BlockAt(0, 0, 1);
  Block* a = BlockAt(0, 0, 3);  // standing exactly on it
  EXPECT_FALSE(ClearlyApart(BoundCorners(*a), *a, *below));
  Block* high = BlockAt(0, 0, 4);  // a block's height above it: its ball clears the box
  EXPECT_TRUE(ClearlyApart(BoundCorners(*high), *high, *below));
  high->corners[5].x = std::nanf("");
  EXPECT_FALSE(ClearlyApart(BoundCorners(*high), *high, *below));
  // A ball made before the block's centre moved is not used.
  Block* other = BlockAt(0, 0, 4);
  const CornerBall stale = BoundCorners(*other);
  other->centre.z = 1.5f;
  EXPECT_FALSE(ClearlyApart(stale, *other, *below));
}

}  // namespace
