// The hand as a person uses it: press on a block or the table, drag, let go; what the held block
// snaps and glues to, what it lifts, and what stays when the button comes up.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "blocks/block_set.h"
#include "bottom_edge.h"
#include "collapse_scenes.h"
#include "hand_session.h"
#include "test_app.h"

namespace r = platform::render;

namespace {

class Hand : public HandSession {
 protected:
  int LinksInto(const Block* b) {
    int n = 0;
    for (int i = 0; i < set().Count(); ++i)
      for (const Face& f : block(i)->faces) n += f.link && f.link->owner == b;
    return n;
  }
};

TEST_F(Hand, APressOnTheBackgroundOrOutsideTheScreenGrabsNothing) {
  PressAt(150, 60);
  EXPECT_EQ(play().heldBody, nullptr);
  DragTo(200, 80);
  LetGo();
  int ox = 7, oy = 7;
  EXPECT_EQ(set().Grab(device(), 640, 300, &ox, &oy), nullptr);
  EXPECT_EQ(set().Grab(device(), 300, 480, &ox, &oy), nullptr);
  EXPECT_EQ(set().Grab(device(), -1, 300, &ox, &oy), nullptr);
  EXPECT_EQ(ox, 7);
}

TEST_F(Hand, AGrabbedBlockKeepsItsCornerZeroAtTheGrabOffsetFromTheCursor) {
  const platform::Point press = PickUp(24);
  const ScreenPoint c0 = OnScreen(block(24)->corners[0]);
  EXPECT_EQ(play().grabOffsetX, int(float(press.x) - c0.x));
  EXPECT_EQ(play().grabOffsetY, int(float(press.y) - c0.y));
  // Up and to the left, where nothing lies behind it: it stays where the drag quad puts it.
  DragTo(150, 60);
  const ScreenPoint moved = OnScreen(block(24)->corners[0]);
  EXPECT_NEAR(moved.x, float(150 - play().grabOffsetX), 0.01f);
  EXPECT_NEAR(moved.y, float(60 - play().grabOffsetY), 0.01f);
  LetGo();
  t.Save("hand_block_in_the_air");
  EXPECT_EQ(play().heldBody, nullptr);
  // Taken off its tower, it is glued to nothing and nothing is glued to it.
  for (const Face& f : block(24)->faces) EXPECT_EQ(f.link, nullptr);
  EXPECT_EQ(LinksInto(block(24)), 0);
  EXPECT_EQ(block(23)->faces[1].link, nullptr);
  // The frame shows it: black outline pixels where the block now stands.
  int black = 0;
  for (int y = int(moved.y) - 30; y < int(moved.y) + 30; ++y)
    for (int x = int(moved.x) - 30; x < int(moved.x) + 30; ++x) black += t.Pixel(x, y) == 0;
  EXPECT_GT(black, 40);
}

TEST_F(Hand, TheTableSlidesInThePlaneOfItsTop) {
  Table& table = t.world().table;
  PressAt(200, 420);
  ASSERT_EQ(play().heldBody, &table);
  DragTo(260, 400);
  EXPECT_EQ(table.centre.y, 0.0f);
  EXPECT_NE(table.centre.x, 0.0f);
  // The offset keeps the table's centre under the same screen offset from the cursor.
  const Vec4 c = [&] {
    Vec4 v;
    FromPoint(v, table.centre);
    return TransformInPlace(v, set().ScreenMatrix(device()));
  }();
  EXPECT_NEAR(c.x, float(260 - play().grabOffsetX), 0.01f);
  EXPECT_NEAR(c.y, float(400 - play().grabOffsetY), 0.01f);
  LetGo();
  t.Save("hand_table_slid");
  // Seen edge on (pitch 0) the cursor ray never meets the table plane: the table goes home.
  device()->SetTransform(r::TransformType::kWorld,
                         ToDeviceMatrix(PlayScene::CameraMatrix(0.0, 225.0f, 8.0f)));
  set().SetTableDragQuad(device());
  set().DragBody(device(), &table, 300, 200, 0, 0, 0.0f);
  EXPECT_EQ(table.centre, (Vec3{0, 0, 0}));
}

TEST_F(Hand, OverTheTableAloneABlockStandsOnItUnglued) {
  PickUp(24);
  // Low on the screen, in front of the towers, where only the table lies behind.
  DragTo(150, 330);
  LetGo();
  t.Save("hand_block_on_the_table");
  EXPECT_EQ(set().supportQuad, &t.world().table.TopRecord());
  EXPECT_NEAR(block(24)->corners[0].z, 0.0f, 1e-4f);
  EXPECT_NEAR(block(24)->centre.z, 1.0f, 1e-4f);
  for (const Face& f : block(24)->faces) EXPECT_EQ(f.link, nullptr);
  EXPECT_EQ(LinksInto(block(24)), 0);
}

TEST_F(Hand, OverTheTopOfAnotherBlockItSnapsOntoItAndIsGlued) {
  PickUp(24);
  // Where a block standing on top of tower 4 would show.
  const platform::Point to = CursorOnTopOf(99);
  DragTo(to.x, to.y);
  t.Save("hand_block_on_a_tower");
  EXPECT_TRUE(Linked(block(99)->faces[1], block(24)->faces[0]));
  EXPECT_EQ(set().supportQuad, &block(99)->faces[1]);
  EXPECT_EQ(set().pendingFace, &block(99)->faces[1]);
  // It rests on the tower's top face: its bottom at the top's height, seen where it was put.
  EXPECT_NEAR(block(24)->corners[0].z, block(99)->corners[4].z, 1e-3f);
  LetGo();
  // The release keeps the glue.
  EXPECT_TRUE(Linked(block(99)->faces[1], block(24)->faces[0]));
  // A new grab starts a fresh glue state.
  PickUp(74);
  EXPECT_EQ(set().pendingFace, nullptr);
  EXPECT_EQ(set().groupBlock, nullptr);
}

TEST_F(Hand, EveryDragFrameUndoesTheLastGlueBeforeGluingAnew) {
  PickUp(24);
  const platform::Point on_tower = CursorOnTopOf(99);
  DragTo(on_tower.x, on_tower.y);
  ASSERT_TRUE(Linked(block(99)->faces[1], block(24)->faces[0]));
  DragTo(150, 60);  // away into the empty air
  EXPECT_EQ(block(99)->faces[1].link, nullptr);
  EXPECT_EQ(LinksInto(block(24)), 0);
  // The towers keep their own glue throughout.
  EXPECT_TRUE(Linked(block(98)->faces[1], block(99)->faces[0]));
  EXPECT_TRUE(Linked(block(0)->faces[1], block(1)->faces[0]));
}

// Slid at table level under a tower's bottom block on screen, the held block lifts the whole
// tower onto its own height; the next drag frame puts the tower back exactly.
TEST_F(Hand, AtTableLevelTheBlockLiftsTheTowerItSlidesUnderAndTheNextFrameUndoesIt) {
  // Unrotated blocks at whole positions, so that the move and its undo are exact.
  for (int i = 0; i < set().Count(); ++i) {
    Block* b = block(i);
    Vec3 c0 = b->corners[0];
    c0.x = std::round(c0.x);
    c0.y = std::round(c0.y);
    b->PlaceAt(c0);
  }
  t.NextFrame();
  Vec3 before[25][8];
  for (int i = 0; i < 25; ++i) std::memcpy(before[i], block(75 + i)->corners, sizeof before[i]);
  PickUp(24);
  // In front of tower 4's bottom block, a little lower on screen than its centre.
  const ScreenPoint base = OnScreen(block(75)->centre);
  const ScreenPoint c0 = OnScreen(block(24)->corners[0]);
  const ScreenPoint centre = OnScreen(block(24)->centre);
  const int x = int(base.x + (c0.x - centre.x)) + play().grabOffsetX;
  const int y = int(base.y + 20.0f + (c0.y - centre.y)) + play().grabOffsetY;
  DragTo(x, y);
  t.Save("hand_tower_lifted");
  ASSERT_EQ(set().groupBlock, block(75));
  EXPECT_EQ(set().supportQuad, &t.world().table.TopRecord());
  EXPECT_NEAR(block(24)->corners[0].z, 0.0f, 1e-4f);
  // The tower's bottom corner reaches height 2, every glued block moved with it.
  EXPECT_NEAR(block(75)->corners[0].z, 2.0f, 1e-4f);
  Vec3 lift;
  Subtract(lift, block(75)->corners[0], before[0][0]);
  for (int i = 1; i < 25; ++i) {
    EXPECT_NEAR(block(75 + i)->corners[0].x - before[i][0].x, lift.x, 1e-3f) << i;
    EXPECT_NEAR(block(75 + i)->corners[0].z - before[i][0].z, lift.z, 1e-3f) << i;
  }
  // On screen it keeps its place (the lift runs along the line of sight).
  const ScreenPoint lifted = OnScreen(block(75)->centre);
  EXPECT_NEAR(lifted.x, base.x, 0.01f);
  EXPECT_NEAR(lifted.y, base.y, 0.01f);
  DragTo(150, 60, 1);
  EXPECT_EQ(set().groupBlock, nullptr);
  for (int i = 0; i < 25; ++i)
    for (int k = 0; k < 8; ++k) EXPECT_EQ(block(75 + i)->corners[k], before[i][k]) << i << " " << k;
  LetGo();
}

TEST_F(Hand, MoveGroupMovesEveryBlockOfARingOnce) {
  // The first tower closed into a ring: its top block's top face glued to its bottom's bottom.
  block(24)->faces[1].link = &block(0)->faces[0];
  block(0)->faces[0].link = &block(24)->faces[1];
  for (int i = 0; i < set().Count(); ++i) block(i)->visited = 0;
  Vec3 old_centres[25];
  for (int i = 0; i < 25; ++i) old_centres[i] = block(i)->centre;
  const Vec3 delta{1.0f, 0.0f, 3.0f};
  set().MoveGroup(block(12), delta);
  for (int i = 0; i < 25; ++i) {
    Vec3 expected;
    ::Add(expected, old_centres[i], delta);
    EXPECT_EQ(block(i)->corners[0], expected) << i;  // PlaceAt puts corner 0 there, once
    EXPECT_EQ(block(i)->visited, 1) << i;
  }
  EXPECT_EQ(block(25)->visited, 0);
}

TEST_F(Hand, ASpotNearAnotherBlocksCornerEdgeOrFaceCentreCountsAsTaken) {
  const Block* other = block(50);
  const float reach = 0.4f * block(24)->size.x;  // 0.8
  Vec3 p = other->corners[6];
  EXPECT_TRUE(set().OverlapsOtherBlock(block(24), p));
  p.x += reach;  // on the box's border: still taken
  EXPECT_TRUE(set().OverlapsOtherBlock(block(24), p));
  // In front of the middle of a side face, nothing but the face centre is near.
  Vec3 side = other->centre;
  side.x -= 1.79f;
  EXPECT_TRUE(set().OverlapsOtherBlock(block(24), side));
  side.x -= 0.02f;
  EXPECT_FALSE(set().OverlapsOtherBlock(block(24), side));
  // The held block itself does not count.
  EXPECT_FALSE(set().OverlapsOtherBlock(block(50), {100.0f, 100.0f, 100.0f}));
  // Spots on the border of the reach of some block's corner, edge midpoint or face centre, or
  // a hair inside or outside it, in towers leant askew: taken as every point of every block says.
  scenes::LeanTowers(set());
  auto points_of = [&](const Block& b) {
    std::vector<Vec3> points(b.corners, b.corners + 8);
    for (int k = 0; k < 12; ++k) {
      Vec3 mid;
      ::Add(mid, b.corners[kEdgePairs[k][0]], b.corners[kEdgePairs[k][1]]);
      points.push_back(DivideInPlace(mid, 2.0f));
    }
    for (const Face& face : b.faces) {
      Vec3 c;
      for (const Vec3* q : face.corner) AddInPlace(c, *q);
      points.push_back(DivideInPlace(c, 4.0f));
    }
    return points;
  };
  auto taken = [&](const Vec3& p) {
    const Vec3 e{reach, reach, reach};
    Vec3 lo, hi;
    Subtract(lo, p, e);
    ::Add(hi, p, e);
    for (int i = 0; i < set().Count(); ++i)
      for (const Vec3& q : points_of(*block(i)))
        if (i != 24 && q.x >= lo.x && q.x <= hi.x && q.y >= lo.y && q.y <= hi.y && q.z >= lo.z &&
            q.z <= hi.z)
          return true;
    return false;
  };
  platform::PortableRand random;
  random.Seed(7);
  for (int n = 0; n < 2000; ++n) {
    const std::vector<Vec3> points = points_of(*block(int(random.Next() % 100)));
    Vec3 p = points[random.Next() % points.size()];
    float Vec3::*const axes[3] = {&Vec3::x, &Vec3::y, &Vec3::z};
    const float side = random.Next() % 2 ? reach : -reach;
    const float nudge[3] = {0.0f, 1.0e-6f, -1.0e-6f};
    const int axis = int(random.Next() % 3);
    p.*axes[axis] += side + nudge[random.Next() % 3];
    ASSERT_EQ(set().OverlapsOtherBlock(block(24), p), taken(p)) << n;
  }
}

}  // namespace

namespace {

// Removing a block leaves nothing pointing at it: glue state, support quad, links, pick cells.
TEST_F(Hand, ARemovedBlockLeavesNoReferenceBehind) {
  PickUp(24);
  const platform::Point to = CursorOnTopOf(99);
  DragTo(to.x, to.y);
  ASSERT_EQ(set().pendingFace, &block(99)->faces[1]);
  LetGo();
  Block* gone = block(99);
  set().groupBlock = gone;
  set().RemoveAt(99);
  EXPECT_EQ(set().Count(), 99);
  EXPECT_EQ(set().pendingFace, nullptr);
  EXPECT_EQ(set().supportQuad, nullptr);
  EXPECT_EQ(set().groupBlock, nullptr);
  for (int i = 0; i < set().Count(); ++i)
    for (const Face& f : block(i)->faces)
      if (f.link) {
        EXPECT_NE(f.link->owner, gone) << i;
      }
  EXPECT_EQ(block(24)->faces[0].link, nullptr);
  EXPECT_EQ(block(98)->faces[1].link, nullptr);
}

// Pick cells name blocks by list position: after a change of the list no cell filled before it
// is read as a block, until the buffer is filled again.
TEST_F(Hand, PickCellsFromBeforeAChangeOfTheListReadAsEmpty) {
  const ScreenPoint s = OnScreen(block(75)->centre);
  const int x = int(s.x), y = int(s.y);
  ASSERT_EQ(set().CellBody(set().FrontCell(x, y)), block(75));
  set().RemoveAt(75);
  EXPECT_EQ(set().FrontCell(x, y).Body(), 0u);
  // A grab right after the change picks what is on screen there now: the buffer is refilled.
  int ox = 0, oy = 0;
  Block* now = set().Grab(device(), x, y, &ox, &oy);
  EXPECT_NE(now, nullptr);
  EXPECT_TRUE(now == &t.world().table || set().Find(now) >= 0);
  EXPECT_EQ(set().CellBody(set().FrontCell(x, y)), now);
  // Removing the block that the grab just picked up ends with no dangling cell either.
  PickUp(74);
  set().RemoveAt(74);
  EXPECT_EQ(set().BackCell(x, y).Body(), 0u);
  play().heldBody = nullptr;
  LetGo();
}

// The drop-target scan bounds its candidate list by its room.
TEST_F(Hand, TheDropScanStopsAppendingWhenItsListIsFull) {
  PickUp(24);
  set().candidates.resize(3);  // room for three entries only
  DragTo(150, 330);
  EXPECT_LE(set().candidateCount, 3);
  EXPECT_EQ(set().supportQuad, &t.world().table.TopRecord());
  LetGo();
}

}  // namespace

namespace {

// The snap choice seen from straight above, where the numbers are exact: the four side faces
// are parallel to the line of sight, so their candidate spot is the origin, on the target's own
// bottom-face centre (taken); above and below the target both lie 2.0 from its centre.
class SnapChoice : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.created());
    set().RemoveAll();
    t.world().table.PlaceAt({1000, 0, 1000});
    Mat4 world;  // 20 down, zoom 8, tilted exactly 90 degrees: looking straight down
    world.At(0, 0) = 8.0f;
    world.At(1, 2) = 8.0f;
    world.At(2, 1) = -8.0f;
    world.At(3, 1) = -20.0f * 8.0f;
    world.At(3, 3) = 1.0f;
    t.app().Graphics().Device()->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(world));
    target = Add({0, 1, 0});       // physics centre (0, 0, 1)
    held = Add({0.25f, 6, 0.5f});  // above it
  }
  BlockSet& set() { return t.world().blockSet; }
  Block* Add(const Vec3& display_centre) {
    platform::gdi::DeviceContext dc;
    return set().AddBlock(dc, t.app().Graphics().Device(), t.app().Sounds(), display_centre,
                          {2, 2, 2});
  }
  Face* Snap() { return set().SnapAndGlue(t.app().Graphics().Device(), held, target); }

  TestApp t;
  Block* target = nullptr;
  Block* held = nullptr;
};

TEST_F(SnapChoice, EqualDistancesTakeTheLowerFaceAndTakenSpotsLoseToFreeOnes) {
  EXPECT_EQ(Snap(), &target->faces[0]);
  const float* d = set().snapDistances;
  EXPECT_FLOAT_EQ(d[0], d[1]);                                 // the tie, won by face 0
  for (int i = 2; i < 6; ++i) EXPECT_GT(d[i], 99999.0f) << i;  // nearer, but taken
  EXPECT_TRUE(held->faces[1].link == &target->faces[0]);
  EXPECT_TRUE(target->faces[0].link == &held->faces[1]);
}

TEST_F(SnapChoice, WhenEverySpotIsTakenTheNearestStillWins) {
  Add({0.25f, 4, 0.5f});                 // over the target's top spot
  Add({0.25f, -2, 0.5f});                // under its bottom spot
  EXPECT_EQ(Snap(), &target->faces[2]);  // the four side spots tie at 1.0 + the penalty
  const float* d = set().snapDistances;
  for (int i = 0; i < 6; ++i) EXPECT_GT(d[i], 99999.0f) << i;
  for (int i = 3; i < 6; ++i) EXPECT_EQ(d[i], d[2]) << i;
}

}  // namespace

namespace {

// A drag may glue a block over a face that was already glued (the snap takes the face, the old
// partner keeps pointing at it). When the block leaves again, by a drag or by its removal, the
// face goes back to its old partner rather than to nothing.
TEST_F(Hand, AFaceGluedOverGoesBackToItsOldPartnerWhenTheBlockLeaves) {
  Face& old_partner = block(23)->faces[1];
  Face& taken = block(24)->faces[0];
  Block* over = block(99);
  ASSERT_TRUE(Linked(old_partner, taken));
  const auto glue_over = [&] {
    over->faces[1].link = &taken;
    taken.link = &over->faces[1];
  };
  glue_over();
  set().DragAttach(device(), over, 150, 60, 0, 0);  // dragged away into the air
  EXPECT_TRUE(Linked(old_partner, taken));
  glue_over();
  set().RemoveAt(set().Find(over));
  EXPECT_TRUE(Linked(old_partner, taken));
}

}  // namespace

namespace {

// A block let go on a face that is still glued to a block moved away from it (a grab handle
// moves a block without ungluing it) takes that face for itself: the old partner comes loose
// rather than keep pointing at a face glued elsewhere. A second drag over both, and the removal
// of the block in the middle, leave no link without its other side, and none into the removed
// block.
TEST_F(Hand, ABlockLetGoOnAFaceTakenFromAnotherLeavesEveryLinkPaired) {
  // The bottom block of tower 4 brought towards the viewer by its handle, still glued to 76.
  BringForwardByItsHandle(75);
  ASSERT_TRUE(Linked(block(75)->faces[1], block(76)->faces[0]));
  // Block 24 dropped on top of it: 75's top face is now glued to 24.
  PickUp(24);
  const platform::Point on_top = CursorOnTopOf(75);
  DragTo(on_top.x, on_top.y);
  LetGo();
  ASSERT_TRUE(Linked(block(75)->faces[1], block(24)->faces[0]));
  EXPECT_EQ(block(76)->faces[0].link, nullptr);
  EXPECT_TRUE(EveryLinkPaired(set()));
  EXPECT_EQ(set().pendingFace, nullptr);
  // Another block dragged over 75 and 24 and let go: still every link paired.
  PickUp(49);
  DragTo(on_top.x, on_top.y + 30);
  DragTo(on_top.x, on_top.y - 10);
  LetGo();
  EXPECT_TRUE(EveryLinkPaired(set()));
  Block* middle = block(75);
  set().RemoveAt(75);
  EXPECT_TRUE(EveryLinkPaired(set()));
  for (int i = 0; i < set().Count(); ++i)
    for (const Face& f : block(i)->faces) EXPECT_TRUE(!f.link || f.link->owner != middle) << i;
}

}  // namespace
