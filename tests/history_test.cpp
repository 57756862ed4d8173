// Undo and redo: every gesture of a random session undone returns the starting towers bit for
// bit (construction, next frame, pick buffer), every one redone the end; a held drag ends before
// an undo, as a release ends it; any run of constructions comes back exactly, the empty one
// included, with steps that hold only what a person can see change, within the bound; a file
// opened while the door closes starts the history.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <unordered_map>

#include "hand_session.h"
#include "play/construction_file.h"
#include "play/construction_keeper.h"
#include "play/snapshot_codec.h"
#include "random_session.h"
#include "test_app.h"

namespace {

// What must come back: the construction's bytes (camera, tool and pen set aside, as the history
// leaves them), the frame and the front pick buffer.
struct Seen {
  std::vector<uint8_t> construction;
  std::vector<uint32_t> frame;
  std::vector<uint32_t> pickIds;
  std::vector<float> pickDepths;
};

// The construction's bytes with what the history leaves to others set aside: the camera, tool
// and pen, and the screen positions, which are worked out again from the camera.
std::vector<uint8_t> Bytes(Snapshot s) {
  s.pitch = s.yaw = s.zoom = 0;
  s.tool = 0;
  std::memset(s.pen, 0, 3);
  for (Snapshot::Block& b : s.blocks) b.screenPosition = {};
  return EncodeSnapshot(s);
}

Seen Look(TestApp& t) {
  t.Move(630, 475);  // the cursor always in one corner, whatever it draws beside the palette
  t.Frames(1);
  const PickBuffer& pick = t.world().blockSet.FrontBuffer();
  const size_t cells = size_t(t.world().blockSet.Width()) * size_t(t.world().blockSet.Height());
  // The frame between the palette's columns: the palette shows the tool, which is not history.
  Seen seen{Bytes(TakeSnapshot(t.world(), t.play())), {}, {}, {}};
  const std::vector<uint32_t>& frame = t.platform().LastFrame();
  for (size_t row = 0; row + 640 <= frame.size(); row += 640)
    seen.frame.insert(seen.frame.end(), frame.begin() + long(row) + 70,
                      frame.begin() + long(row) + 570);
  seen.pickIds.assign(pick.Ids(), pick.Ids() + cells);
  seen.pickDepths.assign(pick.Depths(), pick.Depths() + cells);
  return seen;
}

void ExpectSame(const Seen& a, const Seen& b, const std::string& when) {
  EXPECT_TRUE(a.construction == b.construction) << when << ": the construction differs";
  EXPECT_TRUE(a.frame == b.frame) << when << ": the frame differs";
  EXPECT_TRUE(a.pickIds == b.pickIds && a.pickDepths == b.pickDepths)
      << when << ": the pick buffer differs";
}

using Session = RandomSession<TestApp>;

void Send(TestApp& t, platform::Message message, int times) {
  for (int i = 0; i < times; ++i) {
    t.platform().Send(message);
    t.NextFrame();
  }
}

TEST(History, UndoingARandomSessionReturnsTheTowersAndRedoingItReturnsItsEnd) {
  TestApp t;
  t.EnterPlay();
  const Seen start = Look(t);
  Session session(t, 4);
  // Before every step the history made: as the release before the one that made it left things.
  std::vector<Seen> before_each;
  Seen last = start;
  size_t steps = 0;
  session.afterRelease = [&] {
    const size_t now = t.world().history.UndoSteps();
    ASSERT_LE(now, steps + 1) << "one release, one step at most";
    if (now == steps + 1) before_each.push_back(last);
    steps = now;
    last = Look(t);
  };
  for (int g = 0; g < 40; ++g) session.Gesture();
  ASSERT_GE(steps, 20u) << "the session made too few steps to judge";
  ASSERT_EQ(before_each.size(), steps);
  const Seen end = Look(t);

  // Back one step at a time, each undo returning what was there before its gesture: at last the
  // starting towers.
  t.platform().ClearSounds();
  for (size_t k = steps; k-- > 0;) {
    Send(t, platform::Message::kUndo, 1);
    ExpectSame(Look(t), before_each[k], "undo of step " + std::to_string(k + 1));
  }
  // The starting towers: what the first gesture began from (the hand's hidden records as the
  // tool choices before it left them), the same picture and pick buffer as at the start.
  const Seen undone = Look(t);
  EXPECT_TRUE(undone.frame == start.frame && undone.pickIds == start.pickIds);
  EXPECT_EQ(t.platform().SoundsPlayed().size(), steps) << "one sound per undo";
  Send(t, platform::Message::kUndo, 3);
  EXPECT_EQ(t.platform().SoundsPlayed().size(), steps) << "nothing to undo: silence";

  Send(t, platform::Message::kRedo, int(steps));
  ExpectSame(Look(t), end, "everything redone");
  EXPECT_EQ(t.world().history.RedoSteps(), 0u);

  // A new change after an undo drops what could be redone.
  Send(t, platform::Message::kUndo, 2);
  session.Gesture();
  session.Gesture();
  EXPECT_EQ(t.world().history.RedoSteps(), 0u);
}

TEST(History, AnUndoDuringADragEndsTheDragFirstAndTheRestOfItDoesNothing) {
  TestApp t;
  t.EnterPlay();
  Session session(t, 9);
  session.ChooseTool(0);
  const Seen start = Look(t);
  // Take the top block of a tower and carry it away, still holding the button.
  const int x = t.Centre(24).x, y = t.Centre(24).y;
  t.Move(x, y);
  t.NextFrame();
  t.Press();
  t.NextFrame();
  ASSERT_NE(t.play().heldBody, nullptr);
  for (int i = 1; i <= 10; ++i) {
    t.Move(x + 8 * i, y + 4 * i);
    t.NextFrame();
  }
  Send(t, platform::Message::kUndo, 1);
  EXPECT_EQ(t.play().heldBody, nullptr) << "the undo let go first";
  ExpectSame(Look(t), start, "the drag undone");
  for (int i = 1; i <= 5; ++i) {  // still held: nothing moves
    t.Move(x - 6 * i, y);
    t.NextFrame();
  }
  t.Release();
  t.NextFrame();
  ExpectSame(Look(t), start, "the rest of the drag");
  Send(t, platform::Message::kRedo, 1);
  EXPECT_NE(Look(t).construction, start.construction) << "the drag comes back";
}

// Steps of the whole canvas each (about 1.8 MB): the oldest go once 64 MB is reached, the
// history stays under it, and what is left still undoes exactly.
TEST(History, OldestStepsGoPastTheBoundAndWhatIsLeftStillUndoesExactly) {
  Snapshot s;
  s.canvasPixels.assign(size_t(Snapshot::kCanvasWidth) * Snapshot::kCanvasHeight * 3, 255);
  s.tableTexels.assign(size_t(Snapshot::kTableTexels) * Snapshot::kTableTexels * 3, 255);
  History history;
  history.Reset(s);
  std::vector<Snapshot> states{s};
  size_t largest = 0;
  for (int i = 1; i <= 60; ++i) {
    std::fill(s.canvasPixels.begin(), s.canvasPixels.end(), uint8_t(i));
    EXPECT_TRUE(history.Record(s));
    states.push_back(s);
    largest = std::max(largest, history.Bytes());
  }
  EXPECT_LE(largest, History::kMaxBytes);
  const size_t kept = history.UndoSteps();
  EXPECT_GT(kept, 20u);
  EXPECT_LT(kept, 60u);
  for (size_t k = 0; k < kept; ++k) ASSERT_TRUE(history.Undo());
  EXPECT_FALSE(history.Undo());
  EXPECT_EQ(history.Current().canvasPixels, states[60 - kept].canvasPixels);
  // The camera, tool and pen alone make no step.
  Snapshot moved = history.Current();
  moved.yaw += 10;
  moved.pen[0] = 7;
  EXPECT_FALSE(history.Record(moved));
  EXPECT_EQ(history.RedoSteps(), kept) << "a camera turn drops nothing";
}

// Any run of constructions: blocks moved, added, reordered, all taken away; canvas rows painted;
// the hidden records of many blocks changed; every screen position worked out anew, as a turn
// does. Undone and redone, each comes back exactly (the empty construction too); screen positions
// alone make no step and hold nothing; the bound holds after every change, the hidden records'
// joins to the newest step included.
TEST(History, AnyRunOfConstructionsComesBackExactlyWithinTheBound) {
  platform::PortableRand random;
  random.Seed(42);
  const auto uniform = [&](int low, int high) {
    return low + int(random.Next() % uint32_t(high - low + 1));
  };
  const auto number = [&] { return float(uniform(-5000, 5000)) * 0.01f; };
  uint32_t next_id = 7;
  const auto new_block = [&] {
    Snapshot::Block b;
    b.id = next_id++;
    for (Vec3* v : {b.corners, b.savedCorners, b.velocities})
      for (int k = 0; k < 8; ++k) v[k] = {number(), number(), number()};
    b.centre = b.corners[3];
    b.size = {2, 2, 2};
    b.faces[uniform(0, 5)].texels.fill(uint8_t(uniform(0, 255)));
    return b;
  };
  Snapshot s;
  s.canvasPixels.assign(size_t(Snapshot::kCanvasWidth) * Snapshot::kCanvasHeight * 3, 255);
  s.tableTexels.assign(size_t(Snapshot::kTableTexels) * Snapshot::kTableTexels * 3, 255);
  for (int i = 0; i < 400; ++i) s.blocks.push_back(new_block());
  History history;
  history.Reset(s);
  // What each step comes back to, the oldest first; a hidden change rewrites the newest.
  std::vector<std::vector<uint8_t>> states{Bytes(s)};
  int empties = 0, trims = 0;
  for (int round = 0; round < 500; ++round) {
    const int roll = uniform(0, 9);
    const size_t steps = history.UndoSteps(), bytes = history.Bytes();
    bool visible = true;
    if (roll == 0 && !s.blocks.empty()) {
      s.blocks.clear();
      ++empties;
    } else if (roll <= 1) {
      for (int n = uniform(1, 30); n > 0; --n)
        s.blocks.insert(s.blocks.begin() + uniform(0, int(s.blocks.size())), new_block());
    } else if (roll == 2 && s.blocks.size() > 1) {
      std::swap(s.blocks[size_t(uniform(0, int(s.blocks.size()) - 2))], s.blocks.back());
    } else if (roll <= 4 && !s.blocks.empty()) {
      for (int n = uniform(1, 5); n > 0; --n)
        s.blocks[size_t(uniform(0, int(s.blocks.size()) - 1))].corners[uniform(0, 7)].x += 1.0f;
    } else if (roll <= 6) {
      const int rows = roll == 6 ? Snapshot::kCanvasHeight : uniform(1, Snapshot::kCanvasHeight);
      const int from = uniform(0, Snapshot::kCanvasHeight - rows);
      const auto at = s.canvasPixels.begin() + from * Snapshot::kCanvasWidth * 3;
      std::fill_n(at, rows * Snapshot::kCanvasWidth * 3, uint8_t(*at + 1));
    } else if (roll == 7) {
      for (Snapshot::Block& b : s.blocks) b.screenPosition = {number(), number(), number(), 1.0f};
      EXPECT_FALSE(history.Record(s)) << "screen positions made a step";
      EXPECT_EQ(history.Bytes(), bytes) << "screen positions were kept";
      continue;
    } else {
      for (Snapshot::Block& b : s.blocks)
        if (uniform(0, 3)) b.velocities[uniform(0, 7)].z += 0.5f;
      visible = false;
    }
    const bool made = history.Record(s);
    ASSERT_LE(history.Bytes(), History::kMaxBytes) << "round " << round;
    if (!visible) {
      ASSERT_FALSE(made);
      states.back() = Bytes(s);
      continue;
    }
    ASSERT_TRUE(made) << "round " << round;
    states.push_back(Bytes(s));
    trims += history.UndoSteps() <= steps;
  }
  ASSERT_TRUE(empties > 3 && trims > 3) << empties << " empties, " << trims << " trims";
  const size_t kept = history.UndoSteps();
  for (size_t k = 1; k <= kept; ++k) {
    ASSERT_TRUE(history.Undo());
    ASSERT_TRUE(Bytes(history.Current()) == states[states.size() - 1 - k]) << "undo " << k;
  }
  EXPECT_FALSE(history.Undo());
  for (size_t k = kept; k-- > 0;) {
    ASSERT_TRUE(history.Redo());
    ASSERT_TRUE(Bytes(history.Current()) == states[states.size() - 1 - k]) << "redo to " << k;
  }
  EXPECT_FALSE(history.Redo());
}

// A block glued over a face another block still holds (a grab handle moved that one away without
// ungluing it), undone while the hand holds it: the undo ends the drag as a release would, so
// what comes back by redo is what letting go gives, every link paired and no drag records left.
// A save while holding ends it so too.
class HeldDrag : public HandSession {
 protected:
  // From the start: block 75 brought forward by its handle, still glued to 76 above it.
  void Prepare() {
    BringForwardByItsHandle(75);
    ASSERT_TRUE(Linked(block(75)->faces[1], block(76)->faces[0]));
  }
  // Block 24 held on top of 75, which its snap took from 76.
  void HoldOnTaken() {
    PickUp(24);
    const platform::Point on_top = CursorOnTopOf(75);
    DragTo(on_top.x, on_top.y);
    ASSERT_TRUE(Linked(block(75)->faces[1], block(24)->faces[0]));
    ASSERT_EQ(block(76)->faces[0].link, &block(75)->faces[1]) << "not the drag this is about";
  }
  void Send(platform::Message message) {
    t.platform().Send(message);
    t.NextFrame();
  }
  void ExpectReleased(const char* when) {
    EXPECT_TRUE(EveryLinkPaired(set())) << when;
    EXPECT_TRUE(!set().pendingFace && !set().savedLink && !set().groupBlock) << when;
  }
};

// Every face link of the construction points back at it.
bool LinksPaired(const Snapshot& s) {
  std::unordered_map<uint32_t, const Snapshot::Block*> by_id;
  for (const Snapshot::Block& b : s.blocks) by_id[b.id] = &b;
  for (const Snapshot::Block& b : s.blocks)
    for (int f = 0; f < 6; ++f) {
      const Snapshot::FaceRef& to = b.faces[f].link;
      if (to.block < 0) continue;
      const Snapshot::FaceRef& back = by_id.at(uint32_t(to.block))->faces[to.face].link;
      if (back.block != int32_t(b.id) || back.face != f) return false;
    }
  return true;
}

TEST_F(HeldDrag, AnUndoOrASaveDuringADragEndsItAsAReleaseDoes) {
  Prepare();
  ASSERT_FALSE(HasFatalFailure());
  // Saved while held.
  const std::string saved = std::string(ZENTROVA_OUTPUT_DIR) + "/held_drag.png";
  std::filesystem::create_directories(ZENTROVA_OUTPUT_DIR);
  HoldOnTaken();
  ASSERT_FALSE(HasFatalFailure());
  std::string why;
  ASSERT_TRUE(SaveConstructionTo(t.app(), saved, &why)) << why;
  Snapshot file;
  ASSERT_TRUE(LoadConstructionFile(saved, &file, &why)) << why;
  EXPECT_TRUE(LinksPaired(file));
  EXPECT_TRUE(file.pendingFace.block == Snapshot::FaceRef::kNone &&
              file.savedLink.block == Snapshot::FaceRef::kNone && file.groupBlock == -1);
  LetGo();
  Send(platform::Message::kUndo);
  // Undone while held, the rest of the drag let go, and redone.
  HoldOnTaken();
  ASSERT_FALSE(HasFatalFailure());
  Send(platform::Message::kUndo);
  LetGo();
  Send(platform::Message::kRedo);
  ExpectReleased("redone");
  const std::vector<uint8_t> redone = Bytes(TakeSnapshot(t.world(), t.play()));
  // The same drag let go.
  Send(platform::Message::kUndo);
  HoldOnTaken();
  ASSERT_FALSE(HasFatalFailure());
  LetGo();
  ExpectReleased("let go");
  const std::vector<uint8_t> released = Bytes(TakeSnapshot(t.world(), t.play()));
  EXPECT_TRUE(redone == released) << "the undo ended the drag otherwise than a release";
  EXPECT_TRUE(Bytes(file) == released) << "the save ended the drag otherwise than a release";
  // Saved with the held block over the door's icon: let go there, and no tool chosen, neither
  // by the save nor by the button's release after it.
  PickUp(24);
  DragTo(42, 434);
  t.platform().PressSaveKeys();
  t.NextFrame();
  EXPECT_EQ(play().heldBody, nullptr);
  LetGo();
  t.Frames(2);
  EXPECT_EQ(play().currentTool, t.world().tools[0].get());
  EXPECT_EQ(t.current(), &t.play());
}

// A file dropped while the door closes ends the door there: the file's construction is the first
// state, with nothing before it to undo into, and the history goes on from it.
TEST(History, AFileOpenedWhileTheDoorClosesStartsTheHistory) {
  TestApp t;
  t.EnterPlay();
  RandomSession<TestApp> session(t, 3);
  for (int g = 0; g < 4; ++g) session.Gesture();
  ASSERT_GT(t.world().history.UndoSteps(), 0u);
  t.ChooseTool(3);  // the door
  t.Frames(5);
  ASSERT_EQ(t.current(), &t.play());
  const std::string path =
      (std::filesystem::path(ZENTROVA_SEED_DIR) / ".." / "data" / "construction-v1.png").string();
  t.platform().DropFile(path);
  t.NextFrame();
  ASSERT_NE(t.play().currentTool->type, Tool::kDoor);
  const Seen opened = Look(t);
  EXPECT_EQ(t.world().history.UndoSteps() + t.world().history.RedoSteps(), 0u);
  t.platform().Send(platform::Message::kUndo);
  t.Frames(3);
  ExpectSame(Look(t), opened, "an undo after the opening");
  ASSERT_EQ(t.current(), &t.play());
  session.Gesture();
  session.Gesture();
  ASSERT_GT(t.world().history.UndoSteps(), 0u);
  Send(t, platform::Message::kUndo, int(t.world().history.UndoSteps()) + 2);
  ExpectSame(Look(t), opened, "every gesture after the opening undone");
}

}  // namespace
