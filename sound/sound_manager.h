// Sound playback: the manager owns the output device and the caching loader; every Sound is one
// WAV file, played once per Play, mixed over whatever else is playing.
#pragma once

#include <memory>
#include <string>

#include "platform/audio/audio_device.h"
#include "platform/platform.h"

class SoundManager {
 public:
  SoundManager() = default;
  ~SoundManager() { Shutdown(); }
  SoundManager(const SoundManager&) = delete;
  SoundManager& operator=(const SoundManager&) = delete;

  bool Init(platform::Platform* platform);
  // Releases the loader (with every decoded sound), then the device; safe to call twice.
  void Shutdown();
  platform::audio::AudioDevice* Performance() const { return performance_.get(); }
  platform::audio::Loader* Loader() const { return loader_.get(); }

 private:
  std::unique_ptr<platform::audio::AudioDevice> performance_;
  std::unique_ptr<platform::audio::Loader> loader_;
};

class Sound {
 public:
  Sound() = default;
  virtual ~Sound() = default;
  Sound(const Sound&) = delete;
  Sound& operator=(const Sound&) = delete;

  // False with LastError() naming the file and the reason. Interface sounds play on channels
  // of their own; effects (the blocks' collisions) are skipped when no channel is free.
  bool Load(platform::audio::AudioDevice* performance, platform::audio::Loader* loader,
            const std::string& name,
            platform::audio::PlayKind kind = platform::audio::PlayKind::kEffect);
  bool Load(const SoundManager& manager, const std::string& name,
            platform::audio::PlayKind kind = platform::audio::PlayKind::kEffect) {
    return Load(manager.Performance(), manager.Loader(), name, kind);
  }
  // A sound that never loaded stays silent.
  void Play() const;

 private:
  const platform::audio::SoundBuffer* segment_ = nullptr;  // owned by the loader
  platform::audio::AudioDevice* performance_ = nullptr;
  platform::audio::Loader* loader_ = nullptr;
  platform::audio::PlayKind kind_ = platform::audio::PlayKind::kEffect;
};
