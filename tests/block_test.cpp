// The block body and the table.
#include "blocks/block.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "body_fixture.h"
#include "test_app.h"
#include "world/table.h"

namespace {

class Bodies : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app.created()); }
  Block* NewBlock(const Vec3& origin, const Vec3& size = {2, 2, 2}) {
    blocks.push_back(std::make_unique<Block>());
    platform::gdi::DeviceContext dc;
    EXPECT_TRUE(blank.Create(dc, app.app().Graphics().Device()));
    EXPECT_TRUE(blocks.back()->Create(blank, app.app().Sounds(), origin, size));
    return blocks.back().get();
  }
  TestApp app;
  BlankFace blank;  // before the blocks, which show it
  std::vector<std::unique_ptr<Block>> blocks;
};

TEST_F(Bodies, ACubeAtTheOriginHasItsCentreCornersLengthsAndReach) {
  Block* b = NewBlock({-1, -1, 0});
  EXPECT_EQ(b->centre, (Vec3{0, 0, 1}));
  EXPECT_EQ(b->corners[6], (Vec3{1, 1, 2}));
  for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(b->restLengths[i], 2.0f) << i;
  for (int i = 12; i < 16; ++i) EXPECT_NEAR(b->restLengths[i], 3.4641f, 1e-4f) << i;
  EXPECT_NEAR(b->reachRadius, 4.1569f, 1e-4f);
  EXPECT_EQ(b->referenceCentre, b->centre);
  EXPECT_EQ(b->savedCorners[3], b->corners[3]);
  EXPECT_EQ(b->onTable, 1);
}

TEST_F(Bodies, FaceNormalsFollowTheCornerOrderAndAreasAreDoubled) {
  Block* b = NewBlock({-1, -1, 0});
  const Vec3 expected[6] = {{0, 0, -1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}, {-1, 0, 0}, {-1, 0, 0}};
  for (int f = 0; f < 6; ++f) {
    EXPECT_EQ(b->faces[f].normal, expected[f]) << "face " << f;
    EXPECT_FLOAT_EQ(b->faces[f].area012, 4.0f);
    EXPECT_FLOAT_EQ(b->faces[f].area230, 4.0f);
    EXPECT_EQ(b->faces[f].owner, b);
    EXPECT_EQ(b->faces[f].texture, blank.Texture());
    EXPECT_EQ(b->faces[f].link, nullptr);
  }
  EXPECT_EQ(b->faces[3].corner[2], &b->corners[7]);
  EXPECT_EQ(b->faces[0].texture->Texture()->Texels()[63], 0xFFFFFFFFu);
}

TEST_F(Bodies, PlaceAtMovesCornerZeroAndKeepsTheRotation) {
  Block* b = NewBlock({0, 0, 0});
  // Turn the block a quarter about z by hand.
  b->axes[0] = {0, 1, 0};
  b->axes[1] = {-1, 0, 0};
  b->velocities[2] = {1, 1, 1};
  const Vec3 before = b->centre;
  b->PlaceAt({10, 0, 0});
  EXPECT_EQ(b->corners[0], (Vec3{10, 0, 0}));
  EXPECT_EQ(b->corners[1], (Vec3{10, 2, 0}));
  EXPECT_EQ(b->corners[3], (Vec3{8, 0, 0}));
  EXPECT_EQ(b->corners[6], (Vec3{8, 2, 2}));
  EXPECT_EQ(b->centre, (Vec3{9, 1, 1}));
  EXPECT_EQ(b->previousCentre, before);
  EXPECT_EQ(b->velocities[2], (Vec3{0, 0, 0}));
  EXPECT_EQ(b->savedCorners[6], b->corners[6]);
  EXPECT_EQ(b->faces[0].normal, (Vec3{0, 0, -1})) << "faces keep their shape records";
}

TEST_F(Bodies, ADisplayCentreBecomesAnOriginStandingOnTheTable) {
  EXPECT_EQ(OriginForDisplayCentre({0, 1, 0}, {2, 2, 2}), (Vec3{-1, -1, 0}));
  EXPECT_EQ(OriginForDisplayCentre({5, 3, -7}, {2, 4, 6}), (Vec3{4, -10, 1}));
}

TEST_F(Bodies, TheTableIsASquareAroundItsPlacementPoint) {
  Table& table = app.world().table;
  table.PlaceAt({0, 0, 0});
  const Vec3 corners[4] = {{-30, -30, 0}, {-30, 30, 0}, {30, 30, 0}, {30, -30, 0}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(table.tableCorners[k], corners[k]);
    EXPECT_EQ(table.tableCornerRefs()[k], &table.tableCorners[k]);
  }
  EXPECT_EQ(table.kind, Block::kTable);
  EXPECT_EQ(table.texture.Width(), 240);
  table.PlaceAt({5, 0, -7});
  table.PlaceAt({5, 0, -7});
  EXPECT_FLOAT_EQ(table.vertices[0].x, -25);
  EXPECT_FLOAT_EQ(table.vertices[0].y, 0);
  EXPECT_FLOAT_EQ(table.vertices[0].z, -37);
  EXPECT_EQ(table.tableCorners[0], (Vec3{-25, -37, 0}));
  Vec3 centre;
  EXPECT_EQ(table.GetCenter(centre), (Vec3{5, 0, -7}));
  EXPECT_FLOAT_EQ(table.vertices[2].u, 1);
  EXPECT_EQ(table.vertices[3].diffuse, 0xFFFFFFFFu);
}

}  // namespace

namespace {

// Removing many blocks at once leaves every face, and the hand's glue records, as removing them
// one at a time in the same order does: random glue (pairs, faces glued one-sided, several faces
// glued to one) over random rows of blocks, random blocks removed in random order.
class Removal : public BodyFixture {};

TEST_F(Removal, ManyAtOnceLeaveEveryFaceAsOneAtATime) {
  BlockSet batch;
  ASSERT_TRUE(batch.Initialise(&t.app(), 640, 480));
  platform::PortableRand random;
  random.Seed(3);
  auto face = [](BlockSet& s, int k) { return &s.At(k / 6)->faces[k % 6]; };
  // A face as its block's place in the list and its number; -1 for none, -2 for a removed block.
  auto name = [](const BlockSet& s, const Face* f) {
    if (!f) return -1;
    const int at = s.Find(f->owner);
    return at < 0 ? -2 : at * 6 + int(f - f->owner->faces);
  };
  const auto draw = [&](int n) { return int(random.Next() % uint32_t(n)); };
  int relinked = 0;
  for (int round = 0; round < 40; ++round) {
    const int n = 2 + draw(40);
    std::vector<int> glue;  // from, to, and whether back too
    for (int links = 0; links < n * 4; ++links)
      glue.insert(glue.end(), {draw(6 * n), draw(6 * n), draw(2)});
    const int records[3] = {draw(6 * n), draw(6 * n), draw(6 * n)};
    std::vector<size_t> order(size_t(n), 0);
    for (int i = 0; i < n; ++i) order[size_t(i)] = size_t(i);
    for (int i = n - 1; i > 0; --i) std::swap(order[size_t(i)], order[size_t(draw(i + 1))]);
    const int k = 1 + draw(n);
    for (BlockSet* s : {&set(), &batch}) {
      s->RemoveAll();
      for (int i = 0; i < n; ++i) BlockAt(*s, float(3 * i), 0, 1);
      for (size_t g = 0; g < glue.size(); g += 3)
        if (glue[g] != glue[g + 1]) {
          face(*s, glue[g])->link = face(*s, glue[g + 1]);
          if (glue[g + 2]) face(*s, glue[g + 1])->link = face(*s, glue[g]);
        }
      s->pendingFace = face(*s, records[0]);
      s->savedLink = face(*s, records[1]);
      s->supportQuad = face(*s, records[2]);
      s->groupBlock = s->At(records[0] / 6);
      std::vector<Block*> gone;
      for (int i = 0; i < k; ++i) gone.push_back(s->At(int(order[size_t(i)])));
      if (s == &batch)
        batch.RemoveBlocks(gone);
      else
        for (Block* b : gone) s->RemoveWithUnlink(s->Find(b));
    }
    ASSERT_EQ(batch.Count(), set().Count());
    for (int f = 0; f < 6 * batch.Count(); ++f) {
      const int expected = name(set(), face(set(), f)->link);
      ASSERT_EQ(name(batch, face(batch, f)->link), expected) << "round " << round << " face " << f;
      ASSERT_NE(expected, -2);
      relinked += expected >= 0 && face(set(), f)->link->owner != set().At(f / 6);
    }
    EXPECT_EQ(name(batch, batch.pendingFace), name(set(), set().pendingFace));
    EXPECT_EQ(name(batch, batch.savedLink), name(set(), set().savedLink));
    EXPECT_EQ(name(batch, batch.supportQuad), name(set(), set().supportQuad));
    EXPECT_EQ(batch.groupBlock ? batch.Find(batch.groupBlock) : -1,
              set().groupBlock ? set().Find(set().groupBlock) : -1);
  }
  EXPECT_GT(relinked, 100);
}

}  // namespace
