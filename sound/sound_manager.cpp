#include "sound/sound_manager.h"

bool SoundManager::Init(platform::Platform* platform) {
  performance_ = platform->OpenAudio();
  if (!performance_) return false;
  loader_ = std::make_unique<platform::audio::Loader>(performance_.get());
  std::string directory = platform::audio::Loader::CurrentDirectory();
  if (directory.empty()) {
    platform::SetLastError("cannot read the current directory");
    return false;
  }
  loader_->SetSearchDirectory(directory);
  return true;
}

void SoundManager::Shutdown() {
  loader_.reset();
  performance_.reset();
}

bool Sound::Load(platform::audio::AudioDevice* performance, platform::audio::Loader* loader,
                 const std::string& name, platform::audio::PlayKind kind) {
  performance_ = performance;
  loader_ = loader;
  kind_ = kind;
  if (!loader_) return false;
  segment_ = loader_->LoadObjectFromFile(name);
  return segment_ != nullptr;
}

void Sound::Play() const {
  if (segment_ && performance_) performance_->Play(*segment_, kind_);
}
