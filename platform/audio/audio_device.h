// Sound output: a device that mixes any number of short sounds, and the caching loader that reads
// them from WAV files relative to a search directory.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/audio/wav.h"

namespace platform::audio {

// A decoded sound, ready to play. Owned by the Loader that made it.
class SoundBuffer {
 public:
  explicit SoundBuffer(std::string name) : name_(std::move(name)) {}
  virtual ~SoundBuffer() = default;
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Turns checked samples into something Play can start; null with LastError() on failure.
  virtual std::unique_ptr<SoundBuffer> Prepare(const std::string& name, const PcmSound& pcm) = 0;
  // Starts one playback from the start on a free channel, mixed over the others; when every
  // channel is busy the play is skipped.
  virtual void Play(const SoundBuffer& sound) = 0;
};

// Resolves names against a search directory and decodes each file once: the hundred blocks'
// collision sounds share five buffers.
class Loader {
 public:
  explicit Loader(AudioDevice* device) : device_(device) {}
  void SetSearchDirectory(std::string directory) { directory_ = std::move(directory); }
  // The sound of a file such as "data/select.wav"; null with LastError() naming the file and the
  // reason when it is missing or is not a 16-bit PCM WAV.
  const SoundBuffer* LoadObjectFromFile(const std::string& name);
  // The process's current directory, or "" when it cannot be read.
  static std::string CurrentDirectory();

 private:
  AudioDevice* device_;
  std::string directory_;
  std::map<std::string, std::unique_ptr<SoundBuffer>> cache_;
};

}  // namespace platform::audio
