// Every fuzz seed through every reader of outside bytes, with the ordinary compiler: the seeds
// that are good files must be read, the broken ones refused, and none may crash any reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace
