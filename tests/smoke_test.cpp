#include <gtest/gtest.h>

#include "test_app.h"

TEST(Smoke, StartsOnTheTitle) {
  TestApp t;
  ASSERT_TRUE(t.created()) << t.app().FailureReason();
  t.NextFrame();
  t.Save("smoke_title");
}

TEST(Smoke, StartLeadsToPlay) {
  TestApp t;
  ASSERT_TRUE(t.created()) << t.app().FailureReason();
  t.NextFrame();
  t.Click(150, 370);
  t.Frames(12);
  t.Save("smoke_play");
  t.Move(100, 200);
  t.Frames(2);
  t.Save("smoke_play2");
}
