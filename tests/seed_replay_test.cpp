// Every fuzz seed through every reader of outside bytes, with the ordinary compiler: the seeds
// that are good files must be read, the broken ones refused, and none may crash any reader. The
// playing target's seeds, and its mutator's edits of the towers, are played by its session.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fuzz/construction_edit.h"
#include "fuzz/play_session.h"
#include "fuzz/readers.h"
#include "platform/audio/wav.h"
#include "platform/image/picture.h"
#include "play/construction_file.h"
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
    // The copy of a block whose id is the largest a reference holds takes a free one.
    if (name == "towers_v1.png" || name == "largest_id.png") {
      EXPECT_TRUE(result.lifted);
      EXPECT_TRUE(result.copied);
    }
    if (result.accepted) played.push_back(bytes), digests.push_back(result.digest);
  }
  ASSERT_GE(played.size(), 3u);
  for (size_t i : {size_t(0), played.size() - 1})
    EXPECT_EQ(session.Play(played[i].data(), played[i].size()).digest, digests[i]) << i;
}

// Files the mutator makes from the towers, edited field by field past the wrapping: each is
// refused for what its payload holds (never for its wrapping), or opens and plays with every
// check holding; both happen.
TEST(SeedReplay, EveryEditOfTheTowersIsRefusedForItsPayloadOrPlays) {
  fuzz::PlaySession session;
  ASSERT_TRUE(session.ready()) << session.failure();
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
  for (uint32_t seed = 1; seed <= 60; ++seed) {
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
    if (read) {
      EXPECT_EQ(session.Play(file.data(), size).failure, "") << seed;
    }
  }
  EXPECT_GT(accepted, 5);
  EXPECT_GT(refused, 5);
}

}  // namespace
