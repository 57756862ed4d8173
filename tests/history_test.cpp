// Undo and redo: every gesture of a random session undone returns the starting towers bit for
// bit (construction, next frame, pick buffer), every one redone the end; a held drag ends before
// an undo; the history keeps to its bound.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

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

Seen Look(TestApp& t) {
  t.Move(630, 475);  // the cursor always in one corner, whatever it draws beside the palette
  t.Frames(1);
  Snapshot s = TakeSnapshot(t.world(), t.play());
  s.pitch = s.yaw = s.zoom = 0;
  s.tool = 0;
  std::memset(s.pen, 0, 3);
  const PickBuffer& pick = t.world().blockSet.FrontBuffer();
  const size_t cells = size_t(t.world().blockSet.Width()) * size_t(t.world().blockSet.Height());
  // The frame between the palette's columns: the palette shows the tool, which is not history.
  Seen seen{EncodeSnapshot(s), {}, {}, {}};
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

}  // namespace
