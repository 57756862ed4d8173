// Keeping a construction: a session saved with Ctrl+S and dropped on a second toy continues there
// bit for bit; bad files are refused with their reason and change nothing; files are written
// safely; the first format version keeps loading.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "app/options.h"
#include "bottom_edge.h"
#include "collapse_scenes.h"
#include "platform/compression.h"
#include "platform/image/png_write.h"
#include "platform/safe_file.h"
#include "play/construction_file.h"
#include "play/construction_keeper.h"
#include "play/snapshot.h"
#include "play/snapshot_codec.h"
#include "test_app.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Put(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

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

platform::Point Centre(TestApp& t, int index) {
  const BlockSet& set = t.world().blockSet;
  const ScreenPoint s =
      ProjectToScreen(set.At(index)->centre, set.ScreenMatrix(t.app().Graphics().Device()));
  return {int(s.x), int(s.y)};
}

void ChooseTool(TestApp& t, int index) {
  const Tool* tool = t.world().tools[index].get();
  t.Click(int(tool->x) + 24, int(tool->y) + 24);
}

// The session the saved file is made from: pens on faces and on the canvas, turned and zoomed,
// a block glued elsewhere, a block slid under a tower, a grab handle taken and moved, a second
// handle on the same block that copies it.
void BuildSomething(TestApp& t) {
  ChooseTool(t, 4);  // red pen
  t.Move(Centre(t, 10).x, Centre(t, 10).y);
  t.Drag(Centre(t, 10).x + 30, Centre(t, 10).y + 20, 8);
  t.Move(100, 420);
  t.Drag(150, 440, 6);
  ChooseTool(t, 1);
  t.Move(320, 240);
  t.Drag(350, 255, 6);
  ChooseTool(t, 2);
  t.Move(320, 240);
  t.Drag(320, 225, 4);
  ChooseTool(t, 0);  // the hand
  const platform::Point top = Centre(t, 24);
  t.Move(top.x, top.y);
  t.Drag(Centre(t, 49).x, Centre(t, 49).y - 10, 10);
  const platform::Point low = Centre(t, 60);
  t.Move(low.x, low.y);
  t.Drag(low.x + 60, low.y + 40, 10);
  platform::Point edge;
  bool found = false;
  int block = 0;
  for (int bottom : {0, 25, 50, 75})
    if (!found && BottomEdgePoint(t.world().blockSet, t.app().Graphics().Device(),
                                  *t.world().blockSet.At(bottom), &edge))
      found = true, block = bottom;
  ASSERT_TRUE(found);
  t.Move(edge.x, edge.y);
  t.NextFrame();
  t.Drag(edge.x, edge.y + 30, 4);
  ASSERT_GE(t.world().grabLayer.Count(), 1);
  // The second handle on the same block copies it: the copy moves away.
  ASSERT_TRUE(BottomEdgePoint(t.world().blockSet, t.app().Graphics().Device(),
                              *t.world().blockSet.At(block), &edge));
  t.Move(edge.x, edge.y);
  t.NextFrame();
  t.Drag(edge.x, edge.y + 25, 4);
  t.Move(600, 300);
  t.Frames(2);
}

// Every picture and pick cell the two toys could show must agree.
void ExpectSame(TestApp& a, TestApp& b, const std::string& at) {
  ASSERT_EQ(a.current() == &a.play(), b.current() == &b.play()) << at;
  // The title's first frame shows its own cursor from when it was last current; the play
  // space's every frame must agree.
  if (a.current() == &a.play()) {
    ASSERT_TRUE(a.platform().LastFrame() == b.platform().LastFrame()) << at;
  }
  const BlockSet& x = a.world().blockSet;
  const BlockSet& y = b.world().blockSet;
  ASSERT_EQ(x.Count(), y.Count()) << at;
  const size_t cells = x.FrontBuffer().size();
  ASSERT_EQ(std::memcmp(x.FrontBuffer().Ids(), y.FrontBuffer().Ids(), cells * 4), 0) << at;
  ASSERT_EQ(std::memcmp(x.FrontBuffer().Depths(), y.FrontBuffer().Depths(), cells * 4), 0) << at;
  ASSERT_EQ(std::memcmp(x.EdgeMask(), y.EdgeMask(), cells), 0) << at;
  if (a.current() == &a.play()) {
    ASSERT_TRUE(StateBytes(a) == StateBytes(b)) << at;
  }
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
    }
  }
  // Both toys one frame on with the same input, then compared.
  void Both(const std::function<void(TestApp&)>& step, const std::string& at) {
    step(saver);
    step(loader);
    ExpectSame(saver, loader, at);
  }

  TestApp saver;
  TestApp loader;
  fs::path home;
};

TEST_F(Keeping, ASavedSessionDroppedOnTheTitleOfAnotherToyContinuesBitForBit) {
  saver.EnterPlay();
  BuildSomething(saver);
  ASSERT_FALSE(HasFatalFailure());
  loader.NextFrame();

  saver.platform().PressSaveKeys();
  saver.NextFrame();
  const fs::path saved = home / "Pictures" / "zentrova-20240506-070809.png";
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(saver.platform().CountSound("data/selected.wav") >= 1, true);
  EXPECT_EQ(saver.play().Notice(), &saver.world().savedNotice);
  // Saved again in the same second: a fresh name, the first file kept.
  saver.platform().PressSaveKeys();
  saver.NextFrame();
  EXPECT_TRUE(fs::exists(home / "Pictures" / "zentrova-20240506-070809-2.png"));
  EXPECT_TRUE(Bytes(saved) == Bytes(home / "Pictures" / "zentrova-20240506-070809-2.png"));
  saver.play().ShowNotice(nullptr);
  fs::copy_file(saved, fs::path(ZENTROVA_OUTPUT_DIR) / "construction_session.png",
                fs::copy_options::overwrite_existing);

  // The file is dropped on the other toy's title: it goes straight into the play space.
  loader.Move(saver.platform().CursorPos().x, saver.platform().CursorPos().y);
  loader.platform().DropFile(saved.string());
  loader.NextFrame();
  ASSERT_EQ(loader.current(), &loader.play());
  saver.NextFrame();
  ExpectSame(saver, loader, "first frame");
  ASSERT_FALSE(HasFatalFailure());

  // Now the same hands on both: the handle's marker taken again, hand drags, a pen stroke, and
  // the door over leant towers to the title.
  const GrabHandle* handle = saver.world().grabLayer.At(0);
  ASSERT_GT(saver.world().grabLayer.Count(), 0);
  const platform::Point marker{handle->screenX, handle->screenY};
  int frame = 0;
  const auto step = [&](int x, int y, int button) {
    Both(
        [&](TestApp& t) {
          t.Move(x, y);
          if (button > 0) t.Press();
          if (button < 0) t.Release();
          t.NextFrame();
        },
        "frame " + std::to_string(++frame));
  };
  const auto drag = [&](platform::Point from, platform::Point to, int steps) {
    step(from.x, from.y, 0);
    step(from.x, from.y, 1);
    for (int i = 1; i <= steps && !HasFatalFailure(); ++i)
      step(from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps, 0);
    step(to.x, to.y, -1);
  };
  drag(marker, {marker.x, marker.y - 20}, 4);
  const platform::Point c = Centre(saver, 30);
  drag(c, {c.x - 50, c.y + 30}, 8);
  const platform::Point d = Centre(saver, 90);
  drag(d, {Centre(saver, 5).x, Centre(saver, 5).y}, 8);
  const Tool* pen = saver.world().tools[6].get();
  drag({int(pen->x) + 24, int(pen->y) + 24}, {int(pen->x) + 24, int(pen->y) + 24}, 1);
  drag({300, 150}, {340, 300}, 10);
  ASSERT_FALSE(HasFatalFailure());
  scenes::LeanTowers(saver.world().blockSet);
  scenes::LeanTowers(loader.world().blockSet);
  const Tool* door = saver.world().tools[3].get();
  drag({int(door->x) + 24, int(door->y) + 24}, {int(door->x) + 24, int(door->y) + 24}, 1);
  for (int i = 0; i < 1200 && saver.current() == &saver.play() && !HasFatalFailure(); ++i)
    step(20, 20, 0);
  EXPECT_EQ(saver.current(), &saver.title());
  EXPECT_EQ(loader.current(), &loader.title());
}

TEST_F(Keeping, ClosingThePlaySpaceKeepsLastAndContinueOpensIt) {
  saver.platform().SetEnvironment("XDG_STATE_HOME", (home / "state").string());
  saver.EnterPlay();
  BuildSomething(saver);
  ASSERT_FALSE(HasFatalFailure());
  const std::vector<uint8_t> before = StateBytes(saver);
  saver.app().PostClose();
  saver.Frames(3);
  const fs::path last = home / "state" / "zentrova" / "last.png";
  ASSERT_TRUE(fs::exists(last));
  EXPECT_EQ(LastConstructionPath(saver.app()), last.string());

  LaunchOptions options;
  std::string error;
  const char* argv[] = {"zentrova", "--continue", "some.png"};
  ASSERT_TRUE(ParseOptions(3, argv, &options, &error)) << error;
  EXPECT_TRUE(options.continueLast);
  EXPECT_EQ(options.openFile, "some.png");
  std::string why;
  ASSERT_TRUE(OpenConstruction(loader.app(), last.string(), &why)) << why;
  EXPECT_EQ(loader.current(), &loader.play());
  EXPECT_TRUE(StateBytes(loader) == before);
}

// A valid chunk around any payload, so that each refusal is met where it belongs.
std::vector<uint8_t> PngAround(const std::vector<uint8_t>& payload, uint32_t version,
                               uint32_t claimed_size) {
  platform::image::PngChunk chunk;
  std::memcpy(chunk.type, kConstructionChunk, 4);
  const std::vector<uint8_t> packed = platform::Compress(payload.data(), payload.size());
  const uint32_t head[3] = {version, claimed_size, platform::Crc32(payload.data(), payload.size())};
  for (uint32_t v : head)
    for (int i = 0; i < 4; ++i) chunk.data.push_back(uint8_t(v >> (8 * i)));
  chunk.data.insert(chunk.data.end(), packed.begin(), packed.end());
  const std::vector<uint32_t> picture(4 * 4, 0xFFFFFF);
  std::vector<uint8_t> png;
  std::string why;
  platform::image::EncodePng(picture.data(), 4, 4, 4, &chunk, &png, &why);
  return png;
}

struct BadFile {
  std::string name;
  std::vector<uint8_t> bytes;
  std::string reason;
};

std::vector<BadFile> BadFiles(TestApp& t) {
  const Snapshot snapshot = TakeSnapshot(t.world(), t.play());
  const std::vector<uint8_t> good = EncodeSnapshot(snapshot);
  const auto size = uint32_t(good.size());
  std::vector<BadFile> files;
  const std::vector<uint32_t> picture(8 * 8, 0x123456);
  std::vector<uint8_t> plain;
  std::string why;
  platform::image::EncodePng(picture.data(), 8, 8, 8, nullptr, &plain, &why);
  files.push_back({"no_chunk_refused.png", plain, "this picture holds no construction"});
  files.push_back({"newer_refused.png", PngAround(good, kSnapshotVersion + 1, size),
                   "saved by a newer Zentrova"});
  std::vector<uint8_t> whole = PngAround(good, kSnapshotVersion, size);
  files.push_back({"truncated_refused.png",
                   std::vector<uint8_t>(whole.begin(), whole.begin() + long(whole.size() / 2)),
                   "cut short or damaged"});
  std::vector<uint8_t> flipped = whole;
  flipped[flipped.size() - 40] ^= 0x55;  // inside the chunk: its CRC no longer fits
  files.push_back({"crc_refused.png", flipped, "damaged (checksum)"});
  files.push_back({"huge_claim_refused.png", PngAround(good, kSnapshotVersion, 0xFFFFFFF0u),
                   "claims to be too large"});
  files.push_back({"short_stream_refused.png", PngAround(good, kSnapshotVersion, size + 1),
                   "damaged (unpacked size does not match)"});
  // The block count sits just before the handle count, the payload's last eight bytes here.
  std::vector<uint8_t> many(good.begin(), good.end());
  EXPECT_EQ(snapshot.handles.size(), 0u);
  const size_t count_at = many.size() - 4 - snapshot.blocks.size() * 1796 - 4;
  for (int i = 0; i < 4; ++i) many[count_at + size_t(i)] = uint8_t(4000000000u >> (8 * i));
  files.push_back(
      {"huge_count_refused.png", PngAround(many, kSnapshotVersion, size), "too many blocks"});
  std::vector<uint8_t> nan = good;
  const float not_a_number = std::nanf("");
  std::memcpy(&nan[16], &not_a_number, 4);  // the pitch, after the four sizes
  files.push_back({"nan_refused.png", PngAround(nan, kSnapshotVersion, size), "not finite"});
  std::vector<uint8_t> linked = good;
  // The first block's first face glued to a block id no block has.
  const size_t first_face_link = count_at + 4 + 4 + 456 + 12 + 4 + 20;
  for (int i = 0; i < 4; ++i) linked[first_face_link + size_t(i)] = 0x7F;
  files.push_back({"unknown_block_refused.png", PngAround(linked, kSnapshotVersion, size),
                   "names a block it does not hold"});
  return files;
}

TEST_F(Keeping, BadFilesAreRefusedWithTheirReasonAndChangeNothing) {
  saver.EnterPlay();
  const char* write_seeds = std::getenv("ZENTROVA_WRITE_SEEDS");
  if (write_seeds) {
    std::string written;
    ASSERT_TRUE(SaveToPictures(saver.app(), &written));
    fs::copy_file(written, fs::path(write_seeds) / "towers_v1.png",
                  fs::copy_options::overwrite_existing);
    saver.play().ShowNotice(nullptr);
    saver.NextFrame();
  }
  ChooseTool(saver, 5);
  saver.Move(100, 420);
  saver.Drag(150, 440, 4);
  const std::vector<uint8_t> before = StateBytes(saver);
  const std::vector<uint32_t> frame = saver.platform().LastFrame();
  for (const BadFile& file : BadFiles(saver)) {
    const fs::path path = home / file.name;
    Put(path, file.bytes);
    if (write_seeds) Put(fs::path(write_seeds) / file.name, file.bytes);
    std::string why;
    EXPECT_FALSE(OpenConstruction(saver.app(), path.string(), &why)) << file.name;
    EXPECT_NE(why.find(file.reason), std::string::npos) << file.name << ": " << why;
    EXPECT_TRUE(StateBytes(saver) == before) << file.name;
    EXPECT_EQ(saver.play().Notice(), &saver.world().cannotOpenNotice);
    // Refused on the title, it stays there.
    EXPECT_FALSE(OpenConstruction(loader.app(), path.string(), &why)) << file.name;
    EXPECT_EQ(loader.current(), &loader.title());
  }
  // The same frame once the notice is gone.
  saver.play().ShowNotice(nullptr);
  saver.NextFrame();
  EXPECT_TRUE(saver.platform().LastFrame() == frame);
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
      EXPECT_TRUE(Bytes(path) == old_bytes);
      int entries = 0;
      for (const auto& entry : fs::directory_iterator(folder)) entries += entry.is_regular_file();
      EXPECT_EQ(entries, 1) << "only the old file";
    }
  ASSERT_TRUE(platform::WriteFileSafely(path, new_bytes.data(), new_bytes.size(),
                                        platform::ExistingFile::kReplace, &written, &why));
  EXPECT_TRUE(Bytes(path) == new_bytes);
  EXPECT_EQ((fs::status(path).permissions() & fs::perms::others_read), fs::perms::others_read);
  // A folder that cannot be written: the reason, nothing else.
  EXPECT_FALSE(platform::WriteFileSafely((folder / "last.png" / "x.png").string(), new_bytes.data(),
                                         new_bytes.size(), platform::ExistingFile::kKeep, &written,
                                         &why));
  EXPECT_NE(why.find("Not a directory"), std::string::npos) << why;
}

TEST_F(Keeping, ASaveThatFailsSaysSoAndPlayGoesOn) {
  // The pictures folder named in user-dirs.dirs lies under a file: it cannot be made.
  fs::create_directories(home / "config");
  Put(home / "blocker", {1});
  std::ofstream(home / "config" / "user-dirs.dirs")
      << "# written by a test\nXDG_PICTURES_DIR=\"$HOME/blocker/Pictures\"\n";
  saver.EnterPlay();
  const std::vector<uint8_t> before = StateBytes(saver);
  saver.platform().ClearSounds();
  saver.platform().PressSaveKeys();
  saver.NextFrame();
  EXPECT_EQ(saver.play().Notice(), &saver.world().notSavedNotice);
  EXPECT_EQ(saver.platform().CountSound("data/selected.wav"), 0);
  EXPECT_EQ(saver.current(), &saver.play());
  EXPECT_TRUE(StateBytes(saver) == before);
  // The notice is in the picture, and gone after a few seconds.
  EXPECT_NE(saver.platform().LastFrame(), std::vector<uint32_t>());
  for (int i = 0; i < 200 && saver.play().Notice(); ++i) saver.NextFrame();
  EXPECT_EQ(saver.play().Notice(), nullptr);
}

TEST(ConstructionFormat, TheFirstVersionsFileKeepsLoading) {
  const std::vector<uint8_t> bytes =
      Bytes(fs::path(ZENTROVA_SEED_DIR) / ".." / "data" / "construction-v1.png");
  ASSERT_FALSE(bytes.empty());
  Snapshot snapshot;
  std::string why;
  ASSERT_TRUE(ReadConstructionPng(bytes.data(), bytes.size(), &snapshot, &why)) << why;
  // The session of the round-trip test as saved then: a copy made, three handles, the view
  // tilted and zoomed in.
  EXPECT_EQ(snapshot.blocks.size(), 101u);
  EXPECT_EQ(snapshot.handles.size(), 3u);
  EXPECT_EQ(snapshot.pitch, 39.5f);
  EXPECT_EQ(snapshot.yaw, 225.0f);
  // What a later toy makes of it loads the same way: read, written, read again.
  const std::vector<uint8_t> again = EncodeSnapshot(snapshot);
  Snapshot second;
  ASSERT_TRUE(DecodeSnapshot(again.data(), again.size(), 1, &second, &why)) << why;
  EXPECT_TRUE(EncodeSnapshot(second) == again);
  TestApp t;
  ASSERT_TRUE(t.created());
  t.NextFrame();
  ASSERT_TRUE(RestoreSnapshot(snapshot, &t.world(), &t.play(), &why)) << why;
}

}  // namespace
