// Every fuzz seed through every reader of outside bytes, with the ordinary compiler: the seeds
// that are good files must be read, the broken ones refused, and none may crash any reader. The
// playing target's seeds are played by its session; its mutator's edits reach past the wrapping.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fuzz/construction_edit.h"
#include "fuzz/construction_layout.h"
#include "fuzz/play_session.h"
#include "fuzz/readers.h"
#include "platform/audio/wav.h"
#include "platform/image/picture.h"
#include "play/construction_file.h"
#include "play/snapshot_codec.h"
#include "test_app.h"

namespace fs = std::filesystem;

namespace {

// Seeds named after a fault are meant to be refused; the rest are files the readers must take.
bool MeantToBeRefused(const std::string& name) {
  for (const char* fault : {"refused", "truncated", "huge", "past_end", "before"})
    if (name.find(fault) != std::string::npos) return true;
  return false;
}

bool Accepted(const std::string& folder, const std::vector<uint8_t>& bytes) {
  std::string why;
  if (folder == "wav") {
    platform::audio::PcmSound sound;
    return platform::audio::ParseWav(bytes.data(), bytes.size(), &sound, &why);
  }
  if (folder == "construction") {
    Snapshot snapshot;
    return ReadConstructionPng(bytes.data(), bytes.size(), &snapshot, &why);
  }
  if (folder == "dib") {
    platform::image::BitmapLayout layout;
    return platform::image::ParseBmp(bytes.data(), bytes.size(), &layout, &why);
  }
  platform::image::Picture picture;
  return platform::image::DecodePicture(bytes.data(), bytes.size(), &picture, &why);
}

TEST(SeedReplay, EverySeedGoesThroughEveryReaderAndGoodFilesAreRead) {
  int seeds = 0;
  for (const char* folder : {"bmp", "png", "wav", "dib", "construction"}) {
    int in_folder = 0;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(ZENTROVA_SEED_DIR) / folder)) {
      const std::vector<uint8_t> bytes = FileBytes(entry.path().string());
      const std::string name = entry.path().filename().string();
      fuzz::ReadBmp(bytes.data(), bytes.size());
      fuzz::ReadPng(bytes.data(), bytes.size());
      fuzz::ReadWav(bytes.data(), bytes.size());
      fuzz::ReadDib(bytes.data(), bytes.size());
      fuzz::ReadConstruction(bytes.data(), bytes.size());
      EXPECT_EQ(Accepted(folder, bytes), !MeantToBeRefused(name)) << folder << "/" << name;
      ++in_folder;
    }
    EXPECT_GE(in_folder, 8) << folder;
    seeds += in_folder;
  }
  std::printf("%d seeds replayed through 5 readers\n", seeds);
}

// Each seed of the playing target opened and played as the fuzz target does: the good files
// open, the broken ones are refused, every check holds. The toy's own towers reach the deep
// gestures (a tower lifted, a block copied), and the toy kept for every file carries nothing
// from one to the next.
TEST(SeedReplay, EveryPlaySeedOpensPlaysAndSavesOrIsRefused) {
  fuzz::PlaySession session;
  ASSERT_TRUE(session.ready()) << session.failure();
  std::vector<std::vector<uint8_t>> played;
  std::vector<uint64_t> digests;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(ZENTROVA_SEED_DIR) / "play")) {
    const std::string name = entry.path().filename().string();
    const std::vector<uint8_t> bytes = FileBytes(entry.path().string());
    const fuzz::PlayResult result = session.Play(bytes.data(), bytes.size());
    EXPECT_EQ(result.accepted, !MeantToBeRefused(name)) << name;
    EXPECT_EQ(result.failure, "") << name;
    if (name == "towers_v1.png") {
      EXPECT_TRUE(result.lifted);
      EXPECT_TRUE(result.copied);
    }
    if (result.accepted) played.push_back(bytes), digests.push_back(result.digest);
  }
  ASSERT_GE(played.size(), 3u);
  for (size_t i : {size_t(0), played.size() - 1})
    EXPECT_EQ(session.Play(played[i].data(), played[i].size()).digest, digests[i]) << i;
}

// A snapshot laid out by the codec has each field where the mutator's table says.
TEST(ConstructionEdit, TheLayoutFindsEveryFieldTheCodecWrites) {
  Snapshot s;
  s.zoom = 5.5f;
  s.tool = 7;
  s.tableCentre = {1.0f, 2.0f, 3.0f};
  s.dragQuad.corners[0].x = 4.5f;
  s.pendingFace = {12, 3};
  s.groupBlock = 13;
  s.blocks.resize(2);
  Snapshot::Block& b = s.blocks[1];
  b.id = 13;
  b.corners[7].z = 6.5f;
  b.savedCorners[7].z = 7.5f;
  b.velocities[7].z = 8.5f;
  b.size.z = 9.5f;
  b.restLengths[15] = 10.5f;
  b.screenPosition.w = 11.5f;
  b.touchedBefore = 1;
  b.handle = 0;
  b.faces[5].link = {12, 4};
  b.faces[5].texels[0] = 99;
  s.blocks[0].id = 12;
  s.handles.push_back({13, {14.5f, 0.0f, 0.0f}, 3, 4});
  const std::vector<uint8_t> p = EncodeSnapshot(s);
  const auto f32 = [&](size_t at) {
    float f;
    const uint32_t u = fuzz::GetU32(&p[at]);
    std::memcpy(&f, &u, 4);
    return f;
  };
  using namespace layout;
  const size_t block = kBlocks + kBlockBytes, face = block + kFaces + 5 * kFaceBytes;
  const size_t handle = kBlocks + 2 * kBlockBytes + 4;
  EXPECT_EQ(f32(kZoom), 5.5f);
  EXPECT_EQ(fuzz::GetU32(&p[kTool]), 7u);
  EXPECT_EQ(f32(kTableCentre + 8), 3.0f);
  EXPECT_EQ(f32(kDragQuad), 4.5f);
  EXPECT_EQ(fuzz::GetU32(&p[kPendingFace + 4]), 3u);
  EXPECT_EQ(fuzz::GetU32(&p[kGroupBlock]), 13u);
  EXPECT_EQ(fuzz::GetU32(&p[kBlockCount]), 2u);
  EXPECT_EQ(fuzz::GetU32(&p[block + kBlockId]), 13u);
  EXPECT_EQ(f32(block + kCorners + 7 * 24 + 8), 6.5f);
  EXPECT_EQ(f32(block + kCorners + 7 * 24 + 20), 7.5f);
  EXPECT_EQ(f32(block + kVelocities + 7 * 12 + 8), 8.5f);
  EXPECT_EQ(f32(block + kSize + 8), 9.5f);
  EXPECT_EQ(f32(block + kRestLengths + 15 * 4), 10.5f);
  EXPECT_EQ(f32(block + kScreenPosition + 12), 11.5f);
  EXPECT_EQ(p[block + kContact + 11], 1);
  EXPECT_EQ(fuzz::GetU32(&p[block + kBlockHandle]), 0u);
  EXPECT_EQ(fuzz::GetU32(&p[face + kFaceLink]), 12u);
  EXPECT_EQ(fuzz::GetU32(&p[face + kFaceLink + 4]), 4u);
  EXPECT_EQ(p[face + kFaceTexels], 99);
  EXPECT_EQ(fuzz::GetU32(&p[handle - 4]), 1u);
  EXPECT_EQ(fuzz::GetU32(&p[handle + kHandleBlock]), 13u);
  EXPECT_EQ(f32(handle + kHandleAnchor), 14.5f);
  EXPECT_EQ(fuzz::GetU32(&p[handle + kHandleScreen + 4]), 4u);
  EXPECT_EQ(p.size(), handle + kHandleBytes);
}

// Whatever the mutator edits, the file's wrapping stays whole (the damage reaches the payload's
// reader), and its edits make files the reader takes as well as ones it refuses.
TEST(ConstructionEdit, EveryEditReachesTheReaderPastTheWrapping) {
  const std::vector<uint8_t> towers =
      FileBytes(std::string(ZENTROVA_SEED_DIR) + "/construction/towers_v1.png");
  ASSERT_FALSE(towers.empty());
  // A stand-in for libFuzzer's byte mutator: one byte changed.
  static std::minstd_rand random(7);
  const fuzz::ByteMutator flip = [](uint8_t* data, size_t size, size_t) {
    if (size) data[random() % size] ^= uint8_t(1 + random() % 255);
    return size;
  };
  int accepted = 0, refused = 0;
  std::vector<uint8_t> file(towers.size() * 4);
  for (uint32_t seed = 1; seed <= 120; ++seed) {
    if (seed % 32 == 0) continue;  // the wrapping's own turn
    std::copy(towers.begin(), towers.end(), file.begin());
    const size_t size =
        fuzz::MutateConstruction(file.data(), towers.size(), file.size(), seed, flip);
    Snapshot snapshot;
    std::string why;
    const bool read = ReadConstructionPng(file.data(), size, &snapshot, &why);
    ++(read ? accepted : refused);
    EXPECT_EQ(why.find("damaged"), std::string::npos) << seed << ": " << why;
    EXPECT_EQ(why.find("cut short"), std::string::npos) << seed << ": " << why;
  }
  EXPECT_GT(accepted, 10);
  EXPECT_GT(refused, 10);
}

}  // namespace
