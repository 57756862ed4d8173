// The door's collapse as a person meets it: choose the door, watch the construction fall and
// settle, listen to the knocks, see the door close and the title return.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "collapse_scenes.h"
#include "test_app.h"

namespace {

class Collapse : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.created()) << t.app().FailureReason();
    t.EnterPlay();
    ASSERT_EQ(t.current(), &t.play());
  }
  BlockSet& set() { return t.world().blockSet; }
  // Clicks the door icon; returns the virtual time it was chosen.
  uint32_t ChooseDoor() {
    Tool* door = t.world().tools[3].get();
    t.Move(int(door->x) + 24, int(door->y) + 24);
    t.NextFrame();
    t.platform().ClearSounds();
    t.Click(int(door->x) + 24, int(door->y) + 24);
    EXPECT_EQ(t.play().currentTool, door);
    return t.play().doorStartTime;
  }
  // Frames until the closed door shows (at most `limit`); saves every `every`-th frame when
  // asked. Returns the frames run.
  int FramesUntilTheDoorCloses(int limit, int every = 0, const char* name = nullptr) {
    int frames = 0;
    while (!t.play().doorPictureShown && frames < limit) {
      t.NextFrame();
      ++frames;
      if (every && frames % every == 0) {
        char file[64];
        std::snprintf(file, sizeof file, "%s_%03d", name, frames);
        t.Save(file);
      }
    }
    return frames;
  }
  int Collisions(int band) {
    return t.platform().CountSound("data/collision" + std::to_string(band + 1) + ".wav");
  }

  TestApp t;
};

TEST_F(Collapse, TheStartingTowersStandSilentlyAndTheDoorClosesOnceTheySettle) {
  const uint32_t chosen = ChooseDoor();
  const int frames = FramesUntilTheDoorCloses(1000);
  EXPECT_TRUE(set().AllAtRest());
  EXPECT_LT(frames, 30);
  EXPECT_LT(t.platform().TimeMs() - chosen, 1000u);
  for (int band = 0; band < 5; ++band) EXPECT_EQ(Collisions(band), 0) << "nothing fell";
  std::printf("starting towers: %d frames, %u virtual ms from the door to the closed door\n",
              frames, t.platform().TimeMs() - chosen);
  t.NextFrame();
  EXPECT_EQ(t.current(), &t.title());
  EXPECT_EQ(t.platform().CountSound("data/door.wav"), 1);
  // Every block still stands in its tower, lifted a little as the contacts settled.
  for (int i = 0; i < 100; ++i)
    EXPECT_NEAR(set().At(i)->centre.z, float(2 * (i % 25) + 1), 0.2f) << i;
}

TEST_F(Collapse, PushedOverTowersFallKnockAndSettleAndTheTitleReturnsLongBeforeTheLimit) {
  scenes::LeanTowers(set());
  t.NextFrame();
  t.Save("collapse_000");
  const uint32_t chosen = ChooseDoor();
  const int frames = FramesUntilTheDoorCloses(1000, 20, "collapse");
  t.Save("collapse_closed");
  const uint32_t elapsed = t.platform().TimeMs() - chosen;
  ASSERT_EQ(t.play().doorPictureShown, 1);
  EXPECT_TRUE(set().AllAtRest()) << "closed by the rest, not by the clock";
  EXPECT_LT(elapsed, 12000u) << "well before the 20000 ms limit";
  EXPECT_GT(frames, 100) << "a real fall";

  int bands = 0, knocks = 0;
  std::string counts;
  for (int band = 0; band < 5; ++band) {
    bands += Collisions(band) > 0;
    knocks += Collisions(band);
    counts += " collision" + std::to_string(band + 1) + ": " + std::to_string(Collisions(band));
  }
  EXPECT_GE(bands, 4) << counts;
  EXPECT_GT(knocks, 200) << counts;
  const size_t skipped = t.platform().SoundsSkipped().size();
  EXPECT_LT(skipped, size_t(knocks) / 10) << "a normal collapse loses few knocks";
  for (const auto& play : t.platform().SoundsSkipped())
    EXPECT_EQ(play.name.find("data/collision"), 0u) << "only knocks are ever skipped";
  int fallen = 0;
  for (int i = 0; i < set().Count(); ++i) {
    const Block& b = *set().At(i);
    for (const Vec3& c : b.corners)
      ASSERT_TRUE(std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z));
    fallen += b.centre.z < 20.0f;
  }
  EXPECT_EQ(fallen, 100) << "every tower came down";
  std::printf(
      "collapse: %d frames, %u virtual ms from the door to the closed door;%s; "
      "%zu knocks skipped\n",
      frames, elapsed, counts.c_str(), skipped);

  t.NextFrame();
  EXPECT_EQ(t.current(), &t.title());
  EXPECT_EQ(t.platform().CountSound("data/door.wav"), 1);
}

}  // namespace
