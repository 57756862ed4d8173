// A short monkey soak in every build: a few thousand random frames over every tool, with device
// losses, checking the invariants after every frame. tools/soak runs the long one.
#include "soak.h"

#include <gtest/gtest.h>

#include <functional>

#include "blocks/block_set.h"
#include "soak_checks.h"
#include "test_app.h"

TEST(Soak, AFewThousandRandomFramesKeepEveryReferenceLiveAndEveryCornerANumber) {
  SoakFigures figures;
  std::string failure;
  EXPECT_TRUE(RunSoak(20261207, 4000, &figures, &failure)) << failure;
  EXPECT_EQ(figures.frames, 4000);
  // The session really went through the tools it is meant to cover.
  EXPECT_GT(figures.grabs, 20);
  EXPECT_GT(figures.handles, 5);
  EXPECT_GT(figures.deviceLosses, 5);
  EXPECT_GT(figures.copies, 0);
  EXPECT_GT(figures.removals, 0);
  // Every removal was judged, and every kind of device trouble came up.
  EXPECT_EQ(figures.checks.removalsJudged, figures.removals);
  EXPECT_GT(figures.heldLosses, 0);
  EXPECT_GT(figures.presentationLosses, 0);
  EXPECT_GT(figures.failedResets, 0);
  EXPECT_GT(figures.checks.pickChecks, 100);
  EXPECT_GT(figures.checks.paintChecks, 1000);
  std::printf("%s\n", SoakFiguresLine(figures).c_str());
}

// Each check of the soak catches its fault, planted by hand into a play space between frames.
TEST(SoakChecks, EachCatchesItsFaultPlantedByHand) {
  TestApp t;
  ASSERT_TRUE(t.created());
  t.EnterPlay();
  SoakChecks checks(&t);
  BlockSet& set = t.world().blockSet;
  const auto judge = [&](const std::function<void()>& plant, bool frame = false) {
    checks.BeforePlayFrame(false);
    plant();
    if (frame) t.NextFrame();
    return checks.AfterPlayFrame(false);
  };
  checks.BeforePlayFrame(false);
  t.NextFrame();
  ASSERT_EQ(checks.AfterPlayFrame(true), "");
  const auto says = [&](const std::function<void()>& plant, const std::string& what) {
    return judge(plant).find(what) != std::string::npos;
  };
  // Block 99's top glued over the bottom face of block 1, whose old partner still points at it.
  Face &taken = set.At(1)->faces[0], &over = set.At(99)->faces[1];
  EXPECT_TRUE(says([&] { over.link = &taken, taken.link = &over; },
                   "a link without its other side: block 0 face 1"));
  over.link = nullptr, taken.link = &set.At(0)->faces[1];
  EXPECT_TRUE(says([&] { set.At(7)->PaintableFaceTexture(2)->Backing()->Buffer()[5] ^= 1; },
                   "texels changed with no pen"));
  EXPECT_TRUE(says([&] { t.play().pitch = 95.0f; }, "pitch out of 0..90"));
  t.play().pitch = 30.0f;
  EXPECT_NE(judge([&] { set.RemoveAt(50); }, true).find("a block was removed by no rule"),
            std::string::npos);
  // A block moved after the frame's pick refresh: its cells no longer name what is drawn.
  std::string stale;
  for (int i = 0; i < 8 && stale.empty(); ++i)
    stale = judge([&] { set.At(20)->PlaceAt({30.0f, 30.0f, 0.0f}); });
  EXPECT_NE(stale.find("pick cell"), std::string::npos) << stale;
}
