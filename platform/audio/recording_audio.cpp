#include "platform/audio/recording_audio.h"

namespace platform::audio {

namespace {
class RecordedSound : public SoundBuffer {
 public:
  RecordedSound(std::string name, PcmSound pcm)
      : SoundBuffer(std::move(name)),
        length_ms_(uint32_t(
            (uint64_t(pcm.samples.size() / size_t(pcm.channels)) * 1000 + uint64_t(pcm.rate) - 1) /
            uint64_t(pcm.rate))),
        pcm_(std::move(pcm)) {}
  uint32_t LengthMs() const { return length_ms_; }

 private:
  uint32_t length_ms_;
  PcmSound pcm_;
};
}  // namespace

std::unique_ptr<SoundBuffer> RecordingAudio::Prepare(const std::string& name, const PcmSound& pcm) {
  return std::make_unique<RecordedSound>(name, pcm);
}

bool RecordingAudio::Start(const SoundBuffer& sound, PlayKind kind) {
  const uint32_t now = clock_();
  // Wrap-safe: a channel is free once its end is not after now.
  auto free = [&](int c) { return !channels_[c].used || int32_t(channels_[c].until - now) <= 0; };
  int channel = -1;
  if (kind == PlayKind::kInterface)
    for (int c = 0; c < kInterfaceChannels && channel < 0; ++c)
      if (free(c)) channel = c;
  for (int c = kInterfaceChannels; c < kMixerChannels && channel < 0; ++c)
    if (free(c)) channel = c;
  if (channel < 0 && kind == PlayKind::kInterface) {
    channel = 0;  // the interface channel whose sound ends first gives way
    for (int c = 1; c < kInterfaceChannels; ++c)
      if (int32_t(channels_[c].until - channels_[channel].until) < 0) channel = c;
  }
  if (channel < 0) {
    skipped_->push_back({sound.Name(), now});
    return false;
  }
  channels_[channel] = {true, now + static_cast<const RecordedSound&>(sound).LengthMs()};
  plays_->push_back({sound.Name(), now});
  return true;
}

}  // namespace platform::audio
