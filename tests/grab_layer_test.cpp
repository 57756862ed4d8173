// Grab handles as a person meets them: a press on a block's bottom edge moves it in depth, its
// marker on the table takes it again, a second handle copies the block, a refresh drops them.
#include "play/grab_layer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "blocks/block_set.h"
#include "bottom_edge.h"
#include "hand_session.h"
#include "test_app.h"
#include "uniform_draw.h"

namespace r = platform::render;

namespace {

class Handles : public HandSession {
 protected:
  GrabLayer& layer() { return t.world().grabLayer; }
  platform::Point BottomEdgePoint(const Block* b) {
    platform::Point p{0, 0};
    if (!::BottomEdgePoint(set(), device(), *b, &p)) ADD_FAILURE() << "no bottom edge in view";
    return p;
  }
  platform::Point FaceMiddle(const Block* b) {
    const ScreenPoint s = OnScreen(b->centre);
    return {int(s.x), int(s.y)};
  }
  // Pixels of the handle map, and how many of them are black and show the table in front.
  struct Marker {
    int cells = 0, black = 0, onTable = 0;
    platform::Point any{-1, -1};
  };
  Marker MarkerOf(const GrabHandle* h) {
    Marker m;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        if (layer().HandleAt(x, y) != h) continue;
        ++m.cells;
        m.black += t.Pixel(x, y) == 0;
        m.onTable += set().FrontCell(x, y).Body() == PickCell::kTableBody;
        m.any = {x, y};
      }
    return m;
  }
};

TEST_F(Handles, APressInTheMiddleOfAFaceGrabsTheBlockWithNoHandle) {
  PressAt(FaceMiddle(block(75)));
  EXPECT_EQ(play().heldHandle, nullptr);
  EXPECT_EQ(play().heldBody, block(75));
  EXPECT_EQ(layer().Count(), 0);
  LetGo();
}

TEST_F(Handles, ABottomEdgeTakesAHandleThatMovesTheBlockInDepthAlongItsColumn) {
  const ScreenPoint start = OnScreen(block(75)->centre);
  PressAt(BottomEdgePoint(block(75)));
  GrabHandle* h = play().heldHandle;
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(play().heldBody, nullptr);
  EXPECT_EQ(h->block, block(75));
  EXPECT_EQ(block(75)->grabHandle, h);
  // Down on the screen: the block comes towards the viewer along the line of sight, rising
  // above the table; on screen it stays in its place, and its marker on the table follows the
  // mouse's row.
  MoveBy(0, 60);
  EXPECT_EQ(set().supportQuad, &layer().quad);
  const ScreenPoint near = OnScreen(block(75)->centre);
  EXPECT_LT(near.z, start.z);
  EXPECT_NEAR(near.x, start.x, 1.5f);
  EXPECT_NEAR(near.y, start.y, 1.5f);
  EXPECT_GT(block(75)->corners[0].z, 1.0f);
  t.Save("handle_brought_near");
  const Marker m = MarkerOf(h);
  EXPECT_GT(m.cells, 4);
  EXPECT_EQ(m.black, m.cells);
  EXPECT_EQ(m.onTable, m.cells);
  // Up again: away from the viewer, in the same column.
  MoveBy(0, -40);
  const ScreenPoint back = OnScreen(block(75)->centre);
  EXPECT_GT(back.z, near.z);
  EXPECT_NEAR(back.x, start.x, 1.5f);
  // Farther up than where it started would sink it: it stays on the table along the line of
  // sight, where it began.
  MoveBy(0, -100);
  EXPECT_NEAR(block(75)->corners[0].z, 0.0f, 1e-3f);
  EXPECT_NEAR(OnScreen(block(75)->centre).x, start.x, 1.5f);
  EXPECT_NEAR(OnScreen(block(75)->centre).y, start.y, 1.5f);
  MoveBy(0, 120);
  LetGo();
  // The release keeps the handle and its marker, and a press on the marker takes it again.
  ASSERT_EQ(layer().Count(), 1);
  t.Move(20, 240);  // off the block, so the cursor hides no marker pixel
  t.NextFrame();
  const Marker kept = MarkerOf(h);
  ASSERT_GT(kept.cells, 0);
  PressAt(kept.any);
  EXPECT_EQ(play().heldHandle, h);
  EXPECT_EQ(set().Count(), 100);
  LetGo();
}

TEST_F(Handles, AMarkerHiddenBehindABlockCannotBePressedThere) {
  PressAt(BottomEdgePoint(block(75)));
  GrabHandle* h = play().heldHandle;
  ASSERT_NE(h, nullptr);
  LetGo();
  t.Move(20, 240);
  t.NextFrame();
  // Every pixel of the marker's square either shows the table with the marker, or lies behind
  // a block and belongs to no handle.
  const Mat4 ms = set().ScreenMatrix(device());
  const Vec3& a = h->anchor;
  const auto project = [&](float dx, float dz) {
    return ProjectToScreen(SwapYZ(Vec3{a.x + dx, a.y, a.z + dz}), ms);
  };
  int hidden = 0, shown = 0;
  WalkPickTrianglePixels(project(-1, -1), project(-1, 1), project(1, 1), 640, 480,
                         [&](int x, int y, float) {
                           const bool table = set().FrontCell(x, y).Body() == PickCell::kTableBody;
                           EXPECT_EQ(layer().HandleAt(x, y) == h, table) << x << "," << y;
                           (table ? shown : hidden) += 1;
                         });
  EXPECT_GT(shown + hidden, 0);
}

TEST_F(Handles, APressOnTheTableOrTheBackgroundDropsEveryHandle) {
  PressAt(BottomEdgePoint(block(75)));
  MoveBy(0, 60);
  LetGo();
  t.Move(20, 240);
  t.NextFrame();
  ASSERT_GT(MarkerOf(layer().At(0)).cells, 0);
  PressAt({150, 60});  // background
  EXPECT_EQ(play().heldHandle, nullptr);
  EXPECT_EQ(layer().Count(), 0);
  LetGo();
  t.NextFrame();
  int black_map = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) black_map += layer().HandleAt(x, y) != nullptr;
  EXPECT_EQ(black_map, 0);
  EXPECT_EQ(block(75)->grabHandle, nullptr);
}

TEST_F(Handles, ASecondHandleOnABlockCopiesItAndTheCopyMoves) {
  PressAt(BottomEdgePoint(block(75)));
  MoveBy(0, 60);
  LetGo();
  Block* original = block(75);
  Vec3 stays[8];
  std::copy(std::begin(original->corners), std::end(original->corners), stays);
  PressAt(BottomEdgePoint(original));
  ASSERT_EQ(set().Count(), 101);
  Block* copy = block(100);
  ASSERT_NE(play().heldHandle, nullptr);
  EXPECT_EQ(play().heldHandle->block, copy);
  MoveBy(0, -50);
  LetGo();
  t.Save("handle_copy");
  for (int k = 0; k < 8; ++k) EXPECT_EQ(original->corners[k], stays[k]) << k;
  EXPECT_NE(copy->corners[0], stays[0]);
  // Choosing a tool drops the handles; both blocks stay.
  t.Click(42, 42);  // the hand's icon
  EXPECT_EQ(layer().Count(), 0);
  EXPECT_EQ(set().Count(), 101);
  EXPECT_GE(set().Find(original), 0);
  EXPECT_GE(set().Find(copy), 0);
}

TEST_F(Handles, ChoosingAToolRemovesAnUnhandledBlockStandingOnAHandledOnesPlace) {
  PressAt(BottomEdgePoint(block(75)));
  LetGo();
  Block* handled = block(75);
  Block* underneath = block(50);
  underneath->PlaceAt(handled->corners[0]);
  // Its neighbour in the tower stays glued to nothing that is gone.
  t.Click(42, 42);
  EXPECT_EQ(set().Count(), 99);
  EXPECT_EQ(set().Find(underneath), -1);
  EXPECT_GE(set().Find(handled), 0);
  for (int i = 0; i < set().Count(); ++i)
    for (const Face& f : block(i)->faces)
      if (f.link) {
        EXPECT_GE(set().Find(f.link->owner), 0);
      }
}

// A refresh may remove blocks and always destroys the handles: whatever the scene held of them
// is let go, and the next frames run on what remains.
TEST_F(Handles, ARefreshDuringAHoldEndsTheHoldSafely) {
  PressAt(BottomEdgePoint(block(75)));
  ASSERT_NE(play().heldHandle, nullptr);
  Block* doomed = block(50);
  doomed->PlaceAt(block(75)->corners[0]);
  play().heldBody = doomed;  // as if the hand held it
  play().RefreshGrabLayer();
  EXPECT_EQ(play().heldHandle, nullptr);
  EXPECT_EQ(play().heldBody, nullptr);
  EXPECT_EQ(set().Find(doomed), -1);
  MoveBy(0, -20);
  LetGo();
  t.NextFrame();
}

// The refresh looks only at the handles near each block: over random piles of blocks crowded on
// screen, with random handles among them, it removes exactly the blocks the walk of every
// handle over the whole list removes, and leaves the rest in their order.
TEST_F(Handles, TheRefreshRemovesWhatTheWalkOfEveryHandleOverTheListRemoves) {
  platform::PortableRand random;
  random.Seed(29);
  platform::gdi::DeviceContext dc;
  for (int round = 0; round < 6; ++round) {
    set().RemoveAll();
    const int count = 40 + 80 * round;
    for (int i = 0; i < count; ++i)
      set().AddBlock(dc, device(), t.app().Sounds(),
                     {UniformIn(random, -3, 3), UniformIn(random, 1, 3), UniformIn(random, -3, 3)},
                     {2, 2, 2});
    for (int i = 0; i < count; ++i)
      if (random.Next() % 4 == 0) {
        auto* h = new GrabHandle();
        h->block = set().At(i);
        layer().Add(h);
      }
    // The walk: every handle over the list, a look-up of the handles for every block.
    const Mat4 ms = set().ScreenMatrix(device());
    const auto near = [&](const Block* a, const Block* b) {
      const ScreenPoint p = ProjectToScreen(a->centre, ms), q = ProjectToScreen(b->centre, ms);
      return std::abs(int(p.x) - int(q.x)) < 3 && std::abs(int(p.y) - int(q.y)) < 3;
    };
    const auto handled = [&](const Block* b) {
      for (int h = 0; h < layer().Count(); ++h)
        if (layer().At(h)->block == b) return true;
      return false;
    };
    std::vector<Block*> expected;
    for (int i = 0; i < set().Count(); ++i) expected.push_back(set().At(i));
    for (int h = 0; h < layer().Count(); ++h) {
      const Block* held = layer().At(h)->block;
      std::erase_if(expected, [&](Block* p) { return p != held && !handled(p) && near(p, held); });
    }
    layer().Refresh(device());
    ASSERT_EQ(set().Count(), int(expected.size())) << "round " << round;
    EXPECT_LT(set().Count(), count) << "round " << round;  // some went
    for (int i = 0; i < set().Count(); ++i) EXPECT_EQ(set().At(i), expected[size_t(i)]);
    EXPECT_EQ(layer().Count(), 0);
  }
}

}  // namespace
