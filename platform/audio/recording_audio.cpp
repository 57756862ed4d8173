#include "platform/audio/recording_audio.h"

namespace platform::audio {

namespace {
class RecordedSound : public SoundBuffer {
 public:
  RecordedSound(std::string name, PcmSound pcm)
      : SoundBuffer(std::move(name)), pcm_(std::move(pcm)) {}

 private:
  PcmSound pcm_;
};
}  // namespace

std::unique_ptr<SoundBuffer> RecordingAudio::Prepare(const std::string& name, const PcmSound& pcm) {
  return std::make_unique<RecordedSound>(name, pcm);
}

}  // namespace platform::audio
