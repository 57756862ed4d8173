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
  std::printf(
      "frames %lld, doors %lld, grabs %lld, handles %lld, copies %lld, removals %lld, "
      "device losses %lld\n",
      (long long)figures.frames, (long long)figures.doors, (long long)figures.grabs,
      (long long)figures.handles, (long long)figures.copies, (long long)figures.removals,
      (long long)figures.deviceLosses);
}
