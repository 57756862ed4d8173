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

// What a sound is for. Interface sounds (select, selected, start, end, door) have channels of
// their own, so that a hundred blocks landing at once never silence a button or the door.
enum class PlayKind { kEffect, kInterface };

// Channels of the mixer, and how many of them only interface sounds use. The interface never
// has more than a few sounds running (one hover a frame at most, short clicks, one long phrase
// before a scene change), so its channels are never all busy in practice; should they be, an
// interface sound takes a free effect channel, and failing that the oldest interface channel.
inline constexpr int kMixerChannels = 128;
inline constexpr int kInterfaceChannels = 16;

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Turns checked samples into something Play can start; null with LastError() on failure.
  virtual std::unique_ptr<SoundBuffer> Prepare(const std::string& name, const PcmSound& pcm) = 0;
  // Starts one playback from the start, mixed over the others. An effect finding every effect
  // channel busy is skipped (never queued, never cutting another short) and counted; false then.
  bool Play(const SoundBuffer& sound, PlayKind kind) {
    if (Start(sound, kind)) return true;
    ++skipped_;
    return false;
  }
  // Effects skipped so far for want of a free channel.
  int SkippedPlays() const { return skipped_; }

 protected:
  // Starts the sound on a channel its kind may use; false when there is none.
  virtual bool Start(const SoundBuffer& sound, PlayKind kind) = 0;

 private:
  int skipped_ = 0;
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
