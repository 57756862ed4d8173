// Keeping a construction: a session saved with Ctrl+S and dropped on a second toy continues there
// bit for bit; a failed save changes nothing and the closed play space continues as it was; bad
// files are refused with their reason and change nothing; the first format version keeps loading;
// files are written safely.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "blocks/world_limits.h"
#include "bottom_edge.h"
#include "collapse_scenes.h"
#include "platform/safe_file.h"
#include "play/construction_file.h"
#include "play/construction_keeper.h"
#include "play/snapshot.h"
#include "play/snapshot_codec.h"
#include "test_app.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder under the build's frames/, standing in for a person's home.
fs::path FreshHome(const std::string& name) {
  const fs::path home = fs::path(ZENTROVA_OUTPUT_DIR) / "homes" / name;
  fs::remove_all(home);
  fs::create_directories(home / "Pictures");
  return home;
}

std::vector<uint8_t> StateBytes(TestApp& t) {
  return EncodeSnapshot(TakeSnapshot(t.world(), t.play()));
}

// What a toy shows and holds after a frame, as one number: the current scene, the picture in the
// play space (the title's first frame shows its own cursor from when it was last current), every
// pick cell, the edge mask and the construction.
uint64_t Digest(TestApp& t) {
  uint64_t digest = t.current() == &t.play();
  const auto mix = [&](const void* bytes, size_t size) { digest = MixBytes(digest, bytes, size); };
  const BlockSet& set = t.world().blockSet;
  const size_t cells = set.FrontBuffer().size();
  mix(set.FrontBuffer().Ids(), cells * 4);
  mix(set.FrontBuffer().Depths(), cells * 4);
  mix(set.EdgeMask(), cells);
  if (t.current() == &t.play()) {
    const std::vector<uint32_t>& frame = t.platform().LastFrame();
    mix(frame.data(), frame.size() * 4);
    const std::vector<uint8_t> state = StateBytes(t);
    mix(state.data(), state.size());
  }
  return digest;
}

// The session the saved file is made from: pens on faces and on the canvas, turned and zoomed,
// a block glued elsewhere, a block slid under a tower, a grab handle taken and moved, a second
// handle on the same block that copies it.
void BuildSomething(TestApp& t) {
  t.ChooseTool(4);  // red pen
  const platform::Point face = t.Centre(10);
  t.Drag(face, {face.x + 30, face.y + 20}, 8);
  t.Drag({100, 420}, {150, 440}, 6);
  t.ChooseTool(1);
  t.Drag({320, 240}, {350, 255}, 6);
  t.ChooseTool(2);
  t.Drag({320, 240}, {320, 225}, 4);
  t.ChooseTool(0);  // the hand
  t.Drag(t.Centre(24), {t.Centre(49).x, t.Centre(49).y - 10}, 10);
  const platform::Point low = t.Centre(60);
  t.Drag(low, {low.x + 60, low.y + 40}, 10);
  const BlockSet& set = t.world().blockSet;
  platform::Point edge;
  int block = -1;
  for (int bottom : {0, 25, 50, 75})
    if (block < 0 && BottomEdgePoint(set, t.app().Graphics().Device(), *set.At(bottom), &edge))
      block = bottom;
  ASSERT_GE(block, 0);
  t.Drag(edge, {edge.x, edge.y + 30}, 4);
  ASSERT_GE(t.world().grabLayer.Count(), 1);
  // The second handle on the same block copies it: the copy moves away.
  ASSERT_TRUE(BottomEdgePoint(set, t.app().Graphics().Device(), *set.At(block), &edge));
  t.Drag(edge, {edge.x, edge.y + 25}, 4);
  t.Move(600, 300);
  t.Frames(2);
}

// The hands that go on with a session: the handle's marker taken again, hand drags, a pen stroke,
// and the door over leant towers to the title. The digest of every frame.
std::vector<uint64_t> GoOn(TestApp& t) {
  std::vector<uint64_t> seen{Digest(t)};
  t.afterFrame = [&] { seen.push_back(Digest(t)); };
  if (const GrabHandle* handle = t.world().grabLayer.At(0))
    t.Drag({handle->screenX, handle->screenY}, {handle->screenX, handle->screenY - 20}, 4);
  const platform::Point c = t.Centre(30);
  t.Drag(c, {c.x - 50, c.y + 30}, 8);
  t.Drag(t.Centre(90), t.Centre(5), 8);
  t.ChooseTool(6);
  t.Drag({300, 150}, {340, 300}, 10);
  scenes::LeanTowers(t.world().blockSet);
  t.ChooseTool(3);  // the door
  t.Move(20, 20);
  for (int i = 0; i < 1200 && t.current() == &t.play(); ++i) t.NextFrame();
  t.afterFrame = nullptr;
  return seen;
}

class Keeping : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(saver.created()) << saver.app().FailureReason();
    ASSERT_TRUE(loader.created()) << loader.app().FailureReason();
    home = FreshHome(testing::UnitTest::GetInstance()->current_test_info()->name());
    for (TestApp* t : {&saver, &loader}) {
      t->platform().SetEnvironment("HOME", home.string());
      t->platform().SetEnvironment("XDG_CONFIG_HOME", (home / "config").string());
      t->platform().SetEnvironment("XDG_STATE_HOME", (home / "state").string());
    }
  }

  TestApp saver;
  TestApp loader;
  fs::path home;
};

// A save that fails says so and changes nothing; a saved session dropped on the title of another
// toy continues there bit for bit.
TEST_F(Keeping, ASaveThatFailsChangesNothingAndASavedSessionContinuesBitForBitOnAnotherToy) {
  // The pictures folder named in user-dirs.dirs lies under a file: it cannot be made.
  fs::create_directories(home / "config");
  std::ofstream(home / "blocker") << "a file";
  std::ofstream(home / "config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/blocker/P\"\n";
  saver.EnterPlay();
  BuildSomething(saver);
  ASSERT_FALSE(HasFatalFailure());
  loader.NextFrame();
  const std::vector<uint8_t> before = StateBytes(saver);
  saver.platform().ClearSounds();
  saver.platform().PressSaveKeys();
  saver.NextFrame();
  EXPECT_EQ(saver.play().Notice(), &saver.world().notSavedNotice);
  EXPECT_EQ(saver.platform().CountSound("data/selected.wav"), 0);
  EXPECT_TRUE(StateBytes(saver) == before);
  // The notice is gone after a few seconds.
  for (int i = 0; i < 200 && saver.play().Notice(); ++i) saver.NextFrame();
  EXPECT_EQ(saver.play().Notice(), nullptr);

  fs::remove(home / "config" / "user-dirs.dirs");
  saver.platform().PressSaveKeys();
  saver.NextFrame();
  const fs::path saved = home / "Pictures" / "zentrova-20240506-070809.png";
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_GE(saver.platform().CountSound("data/selected.wav"), 1);
  EXPECT_EQ(saver.play().Notice(), &saver.world().savedNotice);
  // Saved again in the same second: a fresh name, the first file kept.
  saver.platform().PressSaveKeys();
  saver.NextFrame();
  EXPECT_TRUE(FileBytes(saved.string()) ==
              FileBytes((home / "Pictures" / "zentrova-20240506-070809-2.png").string()));
  saver.play().ShowNotice(nullptr);
  fs::copy_file(saved, fs::path(ZENTROVA_OUTPUT_DIR) / "construction_session.png",
                fs::copy_options::overwrite_existing);

  // The file is dropped on the other toy's title: it goes straight into the play space.
  loader.Move(saver.platform().CursorPos().x, saver.platform().CursorPos().y);
  loader.platform().DropFile(saved.string());
  loader.NextFrame();
  ASSERT_EQ(loader.current(), &loader.play());
  saver.NextFrame();
  // Now the same hands on both, every frame alike.
  const std::vector<uint64_t> went_on = GoOn(saver), loaded = GoOn(loader);
  const auto differ = std::mismatch(went_on.begin(), went_on.end(), loaded.begin(), loaded.end());
  EXPECT_TRUE(differ.first == went_on.end() && differ.second == loaded.end())
      << "frame " << differ.first - went_on.begin() << " differs";
  EXPECT_GT(went_on.size(), 60u);
  EXPECT_EQ(saver.current(), &saver.title());
  EXPECT_EQ(loader.current(), &loader.title());
}

// The refused seeds of the construction reader's fuzz corpus, each with its reason, change
// nothing, in the play space or on the title; what closing the play space keeps and the first
// format version's file open as they were.
TEST_F(Keeping, BadFilesAreRefusedWithTheirReasonAndLastAndTheFirstVersionKeepLoading) {
  saver.EnterPlay();
  saver.ChooseTool(5);
  saver.Drag({100, 420}, {150, 440}, 4);
  const std::vector<uint8_t> before = StateBytes(saver);
  const std::vector<uint32_t> frame = saver.platform().LastFrame();
  const std::pair<std::string, std::string> bad_files[] = {
      {"no_chunk", "holds no construction (if it was saved by Zentrova, an image editor may"},
      {"newer", "saved by a newer Zentrova"},
      {"truncated", "cut short or damaged"},
      {"crc", "damaged (checksum)"},
      {"huge_claim", "claims to be too large"},
      {"short_stream", "length does not match its 100 blocks"},
      {"huge_count", "too many blocks"},
      {"nan", "not finite"},
      {"unknown_block", "names a block it does not hold"},
      {"version0", "has no format version (0)"},
      {"too_many_handles", "claims too many handles (101 for 100 blocks)"},
      {"glue_drag_quad", "glues a block to the table or the hand"}};
  for (const auto& [name, reason] : bad_files) {
    const std::string path =
        std::string(ZENTROVA_SEED_DIR) + "/construction/" + name + "_refused.png";
    std::string why;
    EXPECT_FALSE(OpenConstruction(saver.app(), path, &why)) << name;
    EXPECT_NE(why.find(reason), std::string::npos) << name << ": " << why;
    EXPECT_EQ(why.rfind(path + ": ", 0), 0u) << why;
    EXPECT_TRUE(StateBytes(saver) == before) << name;
    EXPECT_EQ(saver.play().Notice(), &saver.world().cannotOpenNotice);
    EXPECT_FALSE(OpenConstruction(loader.app(), path, &why)) << name;
    EXPECT_EQ(loader.current(), &loader.title());
  }
  // The same frame once the notice is gone.
  saver.play().ShowNotice(nullptr);
  saver.NextFrame();
  EXPECT_TRUE(saver.platform().LastFrame() == frame);
  // Closing the play space keeps it as last.png, which Continue opens as it was.
  saver.app().PostClose();
  saver.Frames(3);
  const fs::path last = home / "state" / "zentrova" / "last.png";
  EXPECT_EQ(LastConstructionPath(saver.app()), last.string());
  std::string why;
  ASSERT_TRUE(OpenConstruction(loader.app(), last.string(), &why)) << why;
  EXPECT_EQ(loader.current(), &loader.play());
  EXPECT_TRUE(StateBytes(loader) == before);

  // The first format version's file keeps loading: the session of the round-trip test as saved
  // then (a copy made, three handles, the view tilted and zoomed in), opened as it reads.
  const fs::path v1 = fs::path(ZENTROVA_SEED_DIR) / ".." / "data" / "construction-v1.png";
  const std::vector<uint8_t> bytes = FileBytes(v1.string());
  Snapshot snapshot;
  ASSERT_TRUE(ReadConstructionPng(bytes.data(), bytes.size(), &snapshot, &why)) << why;
  EXPECT_EQ(snapshot.blocks.size(), 101u);
  EXPECT_EQ(snapshot.handles.size(), 3u);
  EXPECT_EQ(snapshot.pitch, 39.5f);
  EXPECT_EQ(snapshot.yaw, 225.0f);
  ASSERT_TRUE(OpenConstruction(loader.app(), v1.string(), &why)) << why;
  EXPECT_EQ(loader.current(), &loader.play());
  EXPECT_TRUE(StateBytes(loader) == EncodeSnapshot(snapshot));
}

TEST(SafeWrite, AFailureBeforeTheRenameLeavesTheOldFileAndNoTemporaryOne) {
  const fs::path folder = FreshHome("safe_write");
  const std::string path = (folder / "last.png").string();
  const std::vector<uint8_t> old_bytes(1000, 1), new_bytes(3000, 2);
  std::string written, why;
  ASSERT_TRUE(platform::WriteFileSafely(path, old_bytes.data(), old_bytes.size(),
                                        platform::ExistingFile::kReplace, &written, &why));
  for (platform::WriteFault fault :
       {platform::WriteFault::kWrite, platform::WriteFault::kBeforeRename})
    for (platform::ExistingFile mode :
         {platform::ExistingFile::kReplace, platform::ExistingFile::kKeep}) {
      EXPECT_FALSE(platform::WriteFileSafely(path, new_bytes.data(), new_bytes.size(), mode,
                                             &written, &why, fault));
      EXPECT_FALSE(why.empty());
      EXPECT_TRUE(FileBytes(path) == old_bytes);
      int entries = 0;
      for (const auto& entry : fs::directory_iterator(folder)) entries += entry.is_regular_file();
      EXPECT_EQ(entries, 1) << "only the old file";
    }
  ASSERT_TRUE(platform::WriteFileSafely(path, new_bytes.data(), new_bytes.size(),
                                        platform::ExistingFile::kReplace, &written, &why));
  EXPECT_TRUE(FileBytes(path) == new_bytes);
  EXPECT_EQ((fs::status(path).permissions() & fs::perms::others_read), fs::perms::others_read);
  // A folder that cannot be written: the reason, nothing else.
  EXPECT_FALSE(platform::WriteFileSafely((folder / "last.png" / "x.png").string(), new_bytes.data(),
                                         new_bytes.size(), platform::ExistingFile::kKeep, &written,
                                         &why));
  EXPECT_NE(why.find("Not a directory"), std::string::npos) << why;
}

}  // namespace

namespace {

// The door from the edges of what a file may hold: a block just inside the play space's top
// moving up as fast as a file may say, another sideways as fast, the rest as they stand. Every
// frame the construction is still one the toy can save and read back.
TEST(ConstructionRule, TheDoorFromTheRulesEdgesKeepsEveryStateWithinIt) {
  TestApp t;
  t.EnterPlay();
  Snapshot s = TakeSnapshot(t.world(), t.play());
  const auto move = [](Snapshot::Block& b, const Vec3& by, const Vec3& velocity) {
    for (int k = 0; k < 8; ++k) {
      AddInPlace(b.corners[k], by);
      AddInPlace(b.savedCorners[k], by);
      b.velocities[k] = velocity;
    }
    for (Vec3* c : {&b.centre, &b.previousCentre, &b.referenceCentre}) AddInPlace(*c, by);
  };
  move(s.blocks[24], {0.0f, 0.0f, world_limits::kPlace - 1.0e4f}, {0.0f, 0.0f, 1.0e5f});
  move(s.blocks[49], {0.0f, 0.0f, 0.0f}, {1.0e5f, 0.0f, 0.0f});
  std::string why;
  ASSERT_TRUE(CheckSnapshot(s, &why)) << why;
  ASSERT_TRUE(RestoreSnapshot(s, &t.world(), &t.play(), &why)) << why;
  t.ChooseTool(3);
  for (int frame = 0; frame < 30 && t.current() == &t.play(); ++frame) {
    t.NextFrame();
    EXPECT_TRUE(CheckSnapshot(TakeSnapshot(t.world(), t.play()), &why)) << frame << ": " << why;
  }
}

// Temporary files left by saves that were killed before their rename: the old ones of ours go,
// a young one (a save going on elsewhere) and anything not ours stay.
TEST(SafeWrite, OldTemporariesOfOursGoAndAFileSizeLimitIsAReasonNotTheEnd) {
  const fs::path folder = FreshHome("stale_temporaries");
  const auto make = [&](const std::string& name, int age_seconds) {
    std::ofstream(folder / name) << "half a picture";
    fs::last_write_time(folder / name,
                        fs::file_time_type::clock::now() - std::chrono::seconds(age_seconds));
  };
  make(".zentrova-20240101-000000.png.Ab3x9Q", 3600);
  make(".last.png.Zz0912", 700);
  make(".zentrova-20240101-000001.png.Young1", 10);
  make(".holiday.png.Old123", 3600);
  make("zentrova-20240101-000002.png", 3600);
  EXPECT_EQ(platform::RemoveStaleTemporaries(folder.string(), {"zentrova-", "last.png"}, 600), 2);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(folder / ""))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left,
            (std::vector<std::string>{".holiday.png.Old123", ".zentrova-20240101-000001.png.Young1",
                                      "Pictures", "zentrova-20240101-000002.png"}));

  // Under a file-size limit the write fails with its reason, in a child so that a death by
  // SIGXFSZ shows as one.
  const std::string path = (folder / "big.png").string();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{1000, 1000};
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::vector<uint8_t> bytes(5000, 7);
    std::string written, why;
    const bool ok = platform::WriteFileSafely(path, bytes.data(), bytes.size(),
                                              platform::ExistingFile::kReplace, &written, &why);
    _exit(ok ? 1 : why.find("too large") != std::string::npos ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(fs::exists(path));
  for (const auto& entry : fs::directory_iterator(folder))
    EXPECT_EQ(entry.path().filename().string().find(".big.png"), std::string::npos);
}

}  // namespace
