#include <gtest/gtest.h>

#include "test_app.h"

TEST(Smoke, StartsOnTheTitle) {
  TestApp t;
  ASSERT_TRUE(t.created()) << t.app().FailureReason();
  t.NextFrame();
  t.Save("smoke_title");
}
