#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/audio/audio_device.h"

namespace platform::audio {

// One play of a sound, as the headless output heard it (or skipped it).
struct PlayRecord {
  std::string name;
  uint32_t time_ms;
};

// The headless sound output: keeps the checked samples, gives every play a channel for the
// sound's length of virtual time, as the mixer would, and records each play with its time, and
// each effect skipped because every effect channel was busy.
class RecordingAudio : public AudioDevice {
 public:
  explicit RecordingAudio(std::function<uint32_t()> clock) : clock_(std::move(clock)) {}
  std::unique_ptr<SoundBuffer> Prepare(const std::string& name, const PcmSound& pcm) override;
  // Shared with the platform, which outlives this device.
  void ShareLogs(std::vector<PlayRecord>* plays, std::vector<PlayRecord>* skipped) {
    plays_ = plays;
    skipped_ = skipped;
  }

 protected:
  bool Start(const SoundBuffer& sound, PlayKind kind) override;

 private:
  std::function<uint32_t()> clock_;
  std::vector<PlayRecord> own_plays_, own_skipped_;
  std::vector<PlayRecord>* plays_ = &own_plays_;
  std::vector<PlayRecord>* skipped_ = &own_skipped_;
  // Per channel, whether a sound was ever started on it and the virtual time the last one ends;
  // the interface channels come first.
  struct Channel {
    bool used = false;
    uint32_t until = 0;
  };
  Channel channels_[kMixerChannels];
};

}  // namespace platform::audio
