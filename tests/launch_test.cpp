// Starting the toy as a desktop program: options, finding the data, failures a person sees, the
// pointer over the bars beside the picture, and the real binary without a display.
#include "app/launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/options.h"
#include "platform/data_folder.h"
#include "platform/headless/headless_platform.h"
#include "test_app.h"

namespace fs = std::filesystem;

namespace {

// A fresh empty folder that is removed again; optionally the current folder while it lives.
class Scratch {
 public:
  Scratch() : previous_(fs::current_path()) {
    path_ = fs::temp_directory_path() /
            ("zentrova-launch-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~Scratch() {
    fs::current_path(previous_);
    fs::remove_all(path_);
  }
  void Enter() const { fs::current_path(path_); }
  const fs::path& path() const { return path_; }
  // The generated data/ of the build, copied into folder/data.
  void CopyData(const fs::path& folder) const {
    fs::create_directories(folder);
    fs::copy(previous_ / "data", folder / "data", fs::copy_options::recursive);
  }
  const fs::path& build() const { return previous_; }

 private:
  static inline int counter_ = 0;
  fs::path previous_;
  fs::path path_;
};

// A message box's text with its line breaks turned back into spaces; every line fits a box.
std::string Unwrapped(const std::string& box) {
  std::string out = box;
  size_t line = 0;
  for (char& c : out) {
    if (c == '\n') {
      EXPECT_LE(line, 72u) << box;
      line = 0;
      c = ' ';
    } else {
      ++line;
    }
  }
  return out;
}

TEST(Options, KnowsTheWindowHelpAndVersionAndNothingElse) {
  LaunchOptions options;
  std::string error;
  const char* none[] = {"zentrova"};
  ASSERT_TRUE(ParseOptions(1, none, &options, &error));
  EXPECT_FALSE(options.windowed || options.help || options.version);
  const char* all[] = {"zentrova", "--window", "--version", "--help"};
  ASSERT_TRUE(ParseOptions(4, all, &options, &error));
  EXPECT_TRUE(options.windowed && options.help && options.version);
  // A bare word is the one file to open; a second one is not.
  const char* file[] = {"zentrova", "window", "--window", "--continue"};
  ASSERT_TRUE(ParseOptions(4, file, &options, &error));
  EXPECT_EQ(options.openFile, "window");
  EXPECT_TRUE(options.continueLast);
  for (const char* wrong : {"--fullscreen", "-w", "window", "--window=1", ""}) {
    const char* argv[] = {"zentrova", "a.png", wrong};
    EXPECT_FALSE(ParseOptions(3, argv, &options, &error)) << wrong;
    EXPECT_EQ(error, std::string("unknown option '") + wrong + "'");
  }
}

TEST(DataFolder, TriesTheCurrentFolderThenBesideTheProgramThenTheInstalledShare) {
  EXPECT_EQ(platform::DataFolderCandidates("/home/ann/work", "/opt/z/bin/"),
            (std::vector<std::string>{"/home/ann/work/data", "/opt/z/bin/data",
                                      "/opt/z/share/zentrova/data"}));
  EXPECT_EQ(platform::DataFolderCandidates("", "/opt/z/bin/").size(), 2u);
}

TEST(DataFolder, PassesOverWhatIsNotOurDataAndSaysWhyForEveryFolder) {
  Scratch s;
  const fs::path missing = s.path() / "missing", file = s.path() / "file",
                 foreign = s.path() / "foreign", ours = s.path() / "ours";
  std::ofstream(file) << "not a folder";
  fs::create_directories(foreign);  // some other program's data/
  s.CopyData(s.path() / "parent");
  fs::rename(s.path() / "parent" / "data", ours);
  std::string found, failure;
  ASSERT_TRUE(platform::FindDataFolder({missing, file, foreign, ours}, &found, &failure));
  EXPECT_EQ(found, ours.string());

  ASSERT_FALSE(platform::FindDataFolder({missing, file, foreign}, &found, &failure));
  const std::string looked_in = "its pictures and sounds are in none of the folders it looks in: ";
  EXPECT_EQ(failure, looked_in + missing.string() + " (No such file or directory); " +
                         file.string() + " (not a folder); " + foreign.string() +
                         " (no title.bmp in it)");

  // A FIFO, a folder and a link to nothing where title.bmp should be: each named as it is; and a
  // folder that cannot be looked into (not testable as root, who may look into any folder).
  const fs::path fifo = s.path() / "fifo", folder = s.path() / "folder",
                 dangling = s.path() / "link", closed = s.path() / "closed";
  for (const fs::path& p : {fifo, folder / "title.bmp", dangling, closed})
    fs::create_directories(p);
  ASSERT_EQ(mkfifo((fifo / "title.bmp").c_str(), 0600), 0);
  fs::create_symlink(s.path() / "nowhere.bmp", dangling / "title.bmp");
  EXPECT_FALSE(platform::FindDataFolder({fifo, folder, dangling}, &found, &failure));
  EXPECT_EQ(failure, looked_in + fifo.string() + " (title.bmp in it is a FIFO (named pipe)); " +
                         folder.string() + " (title.bmp in it is a folder); " + dangling.string() +
                         " (title.bmp in it is a link to nothing (No such file or directory))");
  if (geteuid() != 0) {
    fs::permissions(closed, fs::perms::none);
    EXPECT_FALSE(platform::FindDataFolder({closed}, &found, &failure));
    fs::permissions(closed, fs::perms::owner_all);
    EXPECT_EQ(failure, looked_in + closed.string() +
                           " (cannot look for title.bmp in it: Permission denied)");
  }
}

TEST(Launch, FindsTheDataBesideTheProgramFromAnyFolderAndGivesTheWindowItsIcon) {
  Scratch s;
  s.Enter();
  for (bool windowed : {false, true}) {
    fs::current_path(s.path());
    platform::HeadlessPlatform p;
    p.SetExecutableFolder(s.build().string() + "/");
    p.PostMessage(platform::Message::kClose);  // quits at the loop's first pass
    LaunchOptions options;
    options.windowed = windowed;
    EXPECT_EQ(Launch(p, options), 0);
    EXPECT_TRUE(p.MessageBoxes().empty());
    EXPECT_EQ(p.FullScreen(), !windowed);
    EXPECT_EQ(p.IconSize(), std::make_pair(64, 64));
    EXPECT_EQ(fs::current_path(), s.build()) << "data/ names resolve in the folder it was found";
  }
}

// The k-th frame shown takes k ms of the virtual clock; the window closes after the twentieth.
class TimedFrames : public platform::HeadlessPlatform {
 public:
  bool PresentFrame(const uint32_t* pixels, int width, int height, int pitch) override {
    return Took(HeadlessPlatform::PresentFrame(pixels, width, height, pitch));
  }
  bool PresentGathered() override { return Took(HeadlessPlatform::PresentGathered()); }

 private:
  bool Took(bool shown) {
    Advance(uint32_t(FramesPresented()));
    if (FramesPresented() == 20) PostMessage(platform::Message::kClose);
    return shown;
  }
};

TEST(Launch, FrameTimesCountEveryFrameDrawnAndSayTheirMedianPercentileAndMaximumOnQuit) {
  LaunchOptions options;
  std::string error;
  const char* argv[] = {"zentrova", "--frame-times", "--window"};
  ASSERT_TRUE(ParseOptions(3, argv, &options, &error)) << error;
  ASSERT_TRUE(options.frameTimes);
  Scratch s;
  TimedFrames p;
  p.SetExecutableFolder(s.build().string() + "/");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Launch(p, options), 0);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(p.FramesPresented(), 20);
  EXPECT_EQ(said,
            "zentrova: frame times: 20 frames drawn, median 10.00 ms, 95th percentile 19.00 ms, "
            "max 20.00 ms (update and render)\n");
}

TEST(Launch, WithoutDataAnywhereSaysWhereItLookedInABoxAndFails) {
  Scratch s, program;
  s.Enter();
  platform::HeadlessPlatform p;
  p.SetExecutableFolder(program.path().string() + "/bin/");
  EXPECT_EQ(Launch(p, LaunchOptions()), 1);
  ASSERT_EQ(p.MessageBoxes().size(), 1u);
  const std::string box = Unwrapped(p.MessageBoxes()[0]);
  for (const fs::path& tried : {s.path() / "data", program.path() / "bin" / "data",
                                program.path() / "share" / "zentrova" / "data"})
    EXPECT_NE(box.find(tried.string() + " (No such file or directory)"), std::string::npos) << box;
  EXPECT_FALSE(p.WindowOpen()) << "no window was opened for nothing";
}

TEST(Launch, AFileInTheDataFolderThatCannotBeUsedIsNamedWholeInAPersonsWords) {
  struct Case {
    const char* file;
    bool damage;  // cut short instead of removed
    const char* said;
  };
  for (const Case& c : {Case{"door.wav", false, "its sounds are missing: "},
                        Case{"cursor_default.png", false, "its pictures are missing: "},
                        Case{"hand.bmp", true, "one of its pictures is damaged: "},
                        Case{"door.wav", true, "one of its sounds is damaged: "}}) {
    Scratch s, elsewhere;
    s.CopyData(s.path());
    const fs::path file = s.path() / "data" / c.file;
    if (c.damage)
      fs::resize_file(file, 40);
    else
      fs::remove(file);
    elsewhere.Enter();  // started from another folder, the data found beside the program
    platform::HeadlessPlatform p;
    p.SetExecutableFolder(s.path().string() + "/");
    EXPECT_EQ(Launch(p, LaunchOptions()), 1);
    ASSERT_EQ(p.MessageBoxes().size(), 1u);
    const std::string box = Unwrapped(p.MessageBoxes()[0]);
    const std::string want = std::string("Zentrova cannot start: ") + c.said + file.string() + ": ";
    EXPECT_EQ(box.substr(0, want.size()), want) << box;
    if (!c.damage) {
      EXPECT_EQ(box.substr(want.size()), "No such file or directory") << box;
    }
    EXPECT_FALSE(p.WindowOpen()) << "a full-screen window would hide the box";
  }
}

TEST(Cursor, OverTheBarsBesideThePictureItStaysOnThePicturesNearestEdge) {
  TestApp t;
  t.NextFrame();
  struct Case {
    int x, y, want_x, want_y;
  };
  for (const Case& c : {Case{-300, 240, 0, 240}, Case{900, -5, 639, 0}, Case{-1, 10000, 0, 479},
                        Case{640, 480, 639, 479}, Case{639, 479, 639, 479}}) {
    t.Move(c.x, c.y);
    const platform::Point at = t.platform().CursorPos();
    EXPECT_EQ(at.x, c.want_x) << c.x << "," << c.y;
    EXPECT_EQ(at.y, c.want_y) << c.x << "," << c.y;
  }
  t.Move(-400, 200);
  t.NextFrame();
  EXPECT_EQ(t.Pixel(0, 200), 0x000000u) << "the arrow's tip is drawn at the left edge";
}

TEST(Cursor, InAWindowOffThePictureOnlyTheDesktopsPointerShows) {
  TestApp t(1000, nullptr, kShowWindowed);
  t.NextFrame();
  t.Move(0, 200);
  t.NextFrame();
  EXPECT_EQ(t.Pixel(0, 200), 0x000000u) << "over the picture the game draws its arrow";
  for (int x : {-1, -400}) {
    t.Move(x, 200);
    t.NextFrame();
    EXPECT_EQ(t.Pixel(0, 200), 0xFFFFFFu) << "no second pointer at the edge from " << x;
  }
  t.Click(150, 370);  // into the play space: its tools' cursors follow the same rule
  t.Frames(12);
  t.Move(300, 200);
  t.NextFrame();
  const std::vector<uint32_t> with_cursor = t.platform().LastFrame();
  t.Move(300, -10);
  t.NextFrame();
  const std::vector<uint32_t> without = t.platform().LastFrame();
  t.Move(300, 479);
  t.NextFrame();
  EXPECT_NE(with_cursor, without);
  EXPECT_EQ(t.platform().CursorPos().y, 479);
}

#ifdef ZENTROVA_GAME_BINARY
struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs the game binary with the arguments after an environment prefix, capturing both streams.
Outcome RunGame(const std::string& environment, const std::string& arguments) {
  Scratch s;
  const fs::path out = s.path() / "out", err = s.path() / "err";
  const std::string command = environment + " timeout 20 " + ZENTROVA_GAME_BINARY + " " +
                              arguments + " >" + out.string() + " 2>" + err.string();
  Outcome o;
  int status = std::system(command.c_str());
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto read = [](const fs::path& path) {
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  o.out = read(out);
  o.err = read(err);
  return o;
}

TEST(GameBinary, HelpAndVersionPrintAndSucceedAndAnUnknownOptionShowsTheUsageWithStatusTwo) {
  Outcome help = RunGame("", "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, UsageText());
  Outcome version = RunGame("", "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, VersionText());
  Outcome wrong = RunGame("", "--fulscreen");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.err, "zentrova: unknown option '--fulscreen'\n" + UsageText());
  EXPECT_TRUE(wrong.out.empty());
}

// The export needs no display: the starting towers from any folder, a path relative to where it
// was started; a file that is no construction is refused in one line with status 1.
TEST(GameBinary, ExportsTheStartingTowersWithoutADisplayAndRefusesAFileThatHoldsNone) {
  Scratch s;
  const std::string here = "cd " + s.path().string() + " && env -u DISPLAY -u WAYLAND_DISPLAY";
  Outcome made = RunGame(here, "--export-gltf towers.glb");
  EXPECT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.err, "zentrova: exported " + (s.path() / "towers.glb").string() + "\n");
  EXPECT_GT(fs::file_size(s.path() / "towers.glb"), 100000u);
  std::ofstream(s.path() / "plain.png") << "not a picture";
  Outcome refused = RunGame(here, "--export-gltf out.glb plain.png");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("zentrova: cannot export " + (s.path() / "out.glb").string()),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(fs::exists(s.path() / "out.glb"));
}

TEST(GameBinary, WithoutADisplayItRefusesWithOneClearLineInsteadOfRunningUnseen) {
  const std::string no_display = "env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER";
  Outcome unset = RunGame(no_display, "");
  EXPECT_EQ(unset.status, 1) << unset.err;
  EXPECT_EQ(unset.err,
            "Zentrova cannot start: there is no display to show its window on (DISPLAY and "
            "WAYLAND_DISPLAY are not set); start it from a desktop session, or name a video "
            "driver in SDL_VIDEODRIVER\n");
  // Whatever else the environment lacks, the one line is all a person reads.
  Outcome no_runtime = RunGame(no_display + " -u XDG_RUNTIME_DIR WAYLAND_DISPLAY=wayland-0", "");
  EXPECT_EQ(no_runtime.status, 1);
  EXPECT_EQ(std::count(no_runtime.err.begin(), no_runtime.err.end(), '\n'), 1) << no_runtime.err;
  // The sanitizer build would add its own report: D-Bus, which SDL opens while it tries the
  // display, keeps a buffer after a failed start that SDL 2.26 never lets go of.
  Outcome silent = RunGame(no_display + " ASAN_OPTIONS=detect_leaks=0 DISPLAY=:9876", "");
  EXPECT_EQ(silent.status, 1) << silent.err;
  EXPECT_NE(silent.err.find("(the display DISPLAY=:9876 does not answer)"), std::string::npos)
      << silent.err;
  EXPECT_EQ(std::count(silent.err.begin(), silent.err.end(), '\n'), 1) << silent.err;
}
#endif

}  // namespace
