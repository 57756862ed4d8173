// The application object: frame pacing, teardown and start-up failures.
#include "app/game_app.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>

#include "scenes/scene_manager.h"
#include "test_app.h"
#include "world/world.h"

namespace fs = std::filesystem;

namespace {

TEST(FramePacing, FirstCallNeverRunsAFrameAndTwentyOneMillisecondsDo) {
  TestApp t;
  ASSERT_TRUE(t.created());
  auto& p = t.platform();
  t.app().Frame();
  EXPECT_EQ(p.FramesPresented(), 0);
  p.Advance(20);
  t.app().Frame();
  EXPECT_EQ(p.FramesPresented(), 0) << "exactly 20 ms is not enough";
  p.Advance(1);
  t.app().Frame();
  EXPECT_EQ(p.FramesPresented(), 1);
  t.app().Frame();
  EXPECT_EQ(p.FramesPresented(), 1) << "the next frame is measured from this one";
}

TEST(FramePacing, AClockWrapBetweenTwoFramesStillCounts32Milliseconds) {
  // Create sleeps 1000 ms, so the first reading is 16 ms before the counter wraps.
  TestApp t(0u - 1016u);
  ASSERT_TRUE(t.created());
  ASSERT_EQ(t.platform().TimeMs(), 0u - 16u);
  t.app().Frame();
  t.platform().Advance(32);
  ASSERT_EQ(t.platform().TimeMs(), 16u);
  t.app().Frame();
  EXPECT_EQ(t.platform().FramesPresented(), 1);
}

TEST(FramePacing, TheLoopSleepsUntilTheNextFrameInsteadOfSpinning) {
  TestApp t;
  t.NextFrame();
  uint32_t start = t.platform().TimeMs();
  t.Frames(10);
  // Each pass with nothing to do waits exactly until the next frame is due: ten frames, 21 ms
  // apart, and no pass in between.
  EXPECT_EQ(t.platform().TimeMs() - start, 210u);
}

TEST(FramePacing, ClearingRunningInsideUpdateSkipsTheRenderAndEveryLaterFrame) {
  TestApp t;
  t.NextFrame();
  t.Click(400, 370);  // the end button
  ASSERT_EQ(t.title().ClickAction(), TitleScene::kEnd);
  auto& p = t.platform();
  // Nine more countdown updates draw frames; the tenth and eleventh count and act.
  int frames = p.FramesPresented();
  for (int i = 0; i < 9; ++i) {
    p.Advance(21);
    t.app().Frame();
  }
  EXPECT_EQ(p.FramesPresented(), frames + 9);
  p.Advance(21);
  t.app().Frame();  // countdown 11: sleeps 2000 ms, clears running, posts the close
  EXPECT_FALSE(t.app().Running());
  EXPECT_EQ(p.FramesPresented(), frames + 9) << "no frame after running was cleared";
  p.Advance(1000);
  t.app().Frame();
  EXPECT_EQ(p.FramesPresented(), frames + 9);
}

TEST(Teardown, ACloseRequestInThePlaySceneDestroysEverythingAndEndsTheLoop) {
  TestApp t;
  t.EnterPlay();
  t.platform().PostMessage(platform::Message::kClose);
  EXPECT_FALSE(t.NextFrame());
  EXPECT_TRUE(t.quit());
  EXPECT_FALSE(t.app().Running());
  EXPECT_EQ(t.app().GetWorld(), nullptr);
  EXPECT_EQ(t.app().Scenes(), nullptr);
  EXPECT_FALSE(t.platform().WindowOpen());
  EXPECT_EQ(t.app().Graphics().Resources().Count(), 0) << "widgets left the device's list";
}

TEST(Teardown, RunReturnsZeroAfterTheEndButton) {
  TestApp t;
  t.NextFrame();
  t.Click(400, 370);
  EXPECT_EQ(t.app().Run(), 0);
  EXPECT_EQ(t.app().GetWorld(), nullptr);
}

TEST(Teardown, AWindowThatCannotOpenFailsStartUpBeforeAnythingElseIsBuilt) {
  TestApp t(1000, [](platform::HeadlessPlatform& p) { p.FailWindow(true); });
  EXPECT_FALSE(t.created());
  EXPECT_EQ(t.app().FailureReason(), "cannot open the window");
  EXPECT_EQ(t.app().Graphics().Device(), nullptr);
  EXPECT_EQ(t.app().GetWorld(), nullptr);
}

TEST(Teardown, NoUsableDeviceFailsStartUpAndTheDestructorReleasesTheRest) {
  TestApp t(1000, [](platform::HeadlessPlatform& p) {
    p.SetDeviceFilter(
        [](platform::render::DeviceType, platform::render::VertexProcessing) { return false; });
  });
  EXPECT_FALSE(t.created());
  EXPECT_NE(t.app().FailureReason().find("graphics device"), std::string::npos);
  EXPECT_TRUE(t.platform().WindowOpen()) << "the window stays for the destructor's teardown";
}

// A copy of the generated data in a scratch folder that becomes the current directory, so that a
// test can remove or spoil one file.
class DataFolder {
 public:
  DataFolder() : previous_(fs::current_path()) {
    root_ = fs::temp_directory_path() /
            ("zentrova-data-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(root_);
    fs::copy(previous_ / "data", root_ / "data", fs::copy_options::recursive);
    fs::current_path(root_);
  }
  ~DataFolder() {
    fs::current_path(previous_);
    fs::remove_all(root_);
  }
  void Remove(const std::string& file) { fs::remove(root_ / "data" / file); }
  void Write(const std::string& file, const std::string& bytes) {
    std::ofstream(root_ / "data" / file, std::ios::binary | std::ios::trunc) << bytes;
  }
  void Truncate(const std::string& file, size_t size) {
    fs::resize_file(root_ / "data" / file, size);
  }
  // Puts something other than a file of the toy's in the file's place.
  void Replace(const std::string& file, const std::string& with) {
    const fs::path path = root_ / "data" / file;
    fs::remove(path);
    if (with == "directory") fs::create_directory(path);
    if (with == "fifo") {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
    if (with == "huge") {
      std::ofstream(path, std::ios::binary).put('B');
      fs::resize_file(path, size_t(300) << 20);  // sparse: nothing is written
    }
    if (with == "png") fs::copy_file(root_ / "data" / "cursor_default.png", path);
  }

 private:
  static inline int counter_ = 0;
  fs::path previous_;
  fs::path root_;
};

struct BadFile {
  const char* file;
  const char* change;  // "remove", "garbage", "truncate", or what Replace puts in its place
  const char* reason;  // part of the message
};

void PrintTo(const BadFile& bad, std::ostream* os) {
  *os << bad.change << " " << bad.file;
}

class StartupFailure : public testing::TestWithParam<BadFile> {};

TEST_P(StartupFailure, NamesTheFileAndTheReasonAndTearsDownWhatWasBuilt) {
  const BadFile& bad = GetParam();
  DataFolder data;
  if (std::string(bad.change) == "remove") data.Remove(bad.file);
  if (std::string(bad.change) == "garbage") data.Write(bad.file, "this is not a picture or sound");
  if (std::string(bad.change) == "truncate") data.Truncate(bad.file, 60);
  for (const char* with : {"directory", "fifo", "huge", "png"})
    if (std::string(bad.change) == with) data.Replace(bad.file, with);
  TestApp t;
  EXPECT_FALSE(t.created());
  const std::string& reason = t.app().FailureReason();
  EXPECT_NE(reason.find(std::string("data/") + bad.file), std::string::npos) << reason;
  EXPECT_NE(reason.find(bad.reason), std::string::npos) << reason;
}

INSTANTIATE_TEST_SUITE_P(
    EveryKindOfFile, StartupFailure,
    testing::Values(BadFile{"title.bmp", "remove", "No such file or directory"},
                    BadFile{"start_on.bmp", "garbage", "signature"},
                    BadFile{"door_close.bmp", "truncate", "shorter than its dimensions"},
                    BadFile{"cursor_default.png", "garbage", "signature"},
                    BadFile{"cursor_default.png", "truncate", "PNG"},
                    BadFile{"pen_gray_half.bmp", "remove", "No such file or directory"},
                    BadFile{"cursor_pen_mask.bmp", "truncate", "shorter"},
                    BadFile{"door.wav", "remove", "No such file or directory"},
                    BadFile{"door_close.bmp", "directory", "Is a directory"},
                    // A pipe would block the open for ever; it is refused.
                    BadFile{"start.wav", "fifo", "not a regular file"},
                    BadFile{"title.bmp", "huge", "file too large"},
                    BadFile{"door_close.bmp", "png", "a PNG file where a BMP"},
                    BadFile{"select.wav", "garbage", "not a WAV"}));

TEST(StartupWarning, ABrokenCollisionSoundIsNamedOnceAndItsBlocksKnockWithoutIt) {
  DataFolder data;
  data.Truncate("collision3.wav", 60);
  testing::internal::CaptureStderr();
  TestApp t;
  const std::string warnings = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(t.created()) << t.app().FailureReason();
  EXPECT_NE(warnings.find("data/collision3.wav: WAV chunk runs past the end"), std::string::npos)
      << warnings;
  EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 1) << warnings;
  t.EnterPlay();
  BlockSet& set = t.world().blockSet;
  ASSERT_EQ(set.Count(), 100);
  EXPECT_NE(set.At(99)->faces[5].texture, nullptr) << "the block is whole, only silent there";
  // Thrown onto the table from every height: all the other knocks are heard.
  set.settleCheck = 1;
  for (int i = 0; i < set.Count(); ++i)
    for (Vec3& v : set.At(i)->velocities) v = {0.3f * float(i % 5 - 2), 0, 0};
  for (int step = 0; step < 200; ++step) set.StepBodies();
  EXPECT_EQ(t.platform().CountSound("data/collision3.wav"), 0);
  int heard = 0;
  for (const char* other : {"1", "2", "4", "5"})
    heard += t.platform().CountSound(std::string("data/collision") + other + ".wav") > 0;
  EXPECT_GE(heard, 3);
}

#ifdef ZENTROVA_GAME_BINARY
TEST(StartupFailure, TheGameExitsNonZeroWithTheFileOnStandardError) {
  DataFolder data;
  data.Remove("end_on.bmp");
  const std::string command = std::string("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ") +
                              ZENTROVA_GAME_BINARY + " 2>stderr.txt";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  std::ifstream in("stderr.txt");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("data/end_on.bmp: No such file or directory"), std::string::npos) << text;
}
#endif

}  // namespace
