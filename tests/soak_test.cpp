// A short monkey soak in every build: a few thousand random frames over every tool, with device
// losses, checking the invariants after every frame. tools/soak runs the long one.
#include "soak.h"

#include <gtest/gtest.h>

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
