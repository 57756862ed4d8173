#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/audio/audio_device.h"

namespace platform::audio {

// One play of a sound, as the headless output heard it.
struct PlayRecord {
  std::string name;
  uint32_t time_ms;
};

// The headless sound output: keeps the checked samples and records every play with its time.
class RecordingAudio : public AudioDevice {
 public:
  explicit RecordingAudio(std::function<uint32_t()> clock) : clock_(std::move(clock)) {}
  std::unique_ptr<SoundBuffer> Prepare(const std::string& name, const PcmSound& pcm) override;
  void Play(const SoundBuffer& sound) override { plays_->push_back({sound.Name(), clock_()}); }
  // Shared with the platform, which outlives this device.
  void ShareLog(std::vector<PlayRecord>* log) { plays_ = log; }

 private:
  std::function<uint32_t()> clock_;
  std::vector<PlayRecord> own_;
  std::vector<PlayRecord>* plays_ = &own_;
};

}  // namespace platform::audio
