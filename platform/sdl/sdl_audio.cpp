#include "platform/sdl/sdl_audio.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "platform/whole_file.h"

namespace platform {

namespace {

// Interface sounds find the oldest of their channels through this group.
constexpr int kInterfaceGroup = 1;

class MixerSound : public audio::SoundBuffer {
 public:
  MixerSound(std::string name, std::vector<uint8_t> bytes)
      : SoundBuffer(std::move(name)), bytes_(std::move(bytes)) {
    chunk_ = Mix_QuickLoad_RAW(bytes_.data(), uint32_t(bytes_.size()));
  }
  ~MixerSound() override {
    if (chunk_) Mix_FreeChunk(chunk_);  // a quick-loaded chunk does not free our bytes
  }
  Mix_Chunk* Chunk() const { return chunk_; }

 private:
  std::vector<uint8_t> bytes_;
  Mix_Chunk* chunk_ = nullptr;
};

// Open: sounds are converted to the device's format and mixed. Not open: a machine without a
// sound device, where every sound is checked and prepared but plays silently.
class MixerAudio : public audio::AudioDevice {
 public:
  explicit MixerAudio(bool open) : open_(open) {
    if (open_) Mix_QuerySpec(&rate_, &format_, &channels_);
  }
  ~MixerAudio() override {
    if (open_) {
      Mix_HaltChannel(-1);
      Mix_CloseAudio();
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  std::unique_ptr<audio::SoundBuffer> Prepare(const std::string& name,
                                              const audio::PcmSound& pcm) override {
    if (!open_) return std::make_unique<audio::SoundBuffer>(name);
    SDL_AudioCVT cvt;
    if (SDL_BuildAudioCVT(&cvt, AUDIO_S16SYS, uint8_t(pcm.channels), pcm.rate, format_,
                          uint8_t(channels_), rate_) < 0) {
      SetLastError(DataFileProblem(DataKind::kSound, name,
                                   std::string("cannot convert it: ") + SDL_GetError()));
      return nullptr;
    }
    size_t in_bytes = pcm.samples.size() * 2;
    std::vector<uint8_t> buffer(in_bytes * size_t(cvt.len_mult > 0 ? cvt.len_mult : 1));
    std::memcpy(buffer.data(), pcm.samples.data(), in_bytes);
    cvt.buf = buffer.data();
    cvt.len = int(in_bytes);
    if (cvt.needed && SDL_ConvertAudio(&cvt) != 0) {
      SetLastError(DataFileProblem(DataKind::kSound, name,
                                   std::string("cannot convert it: ") + SDL_GetError()));
      return nullptr;
    }
    buffer.resize(size_t(cvt.needed ? cvt.len_cvt : cvt.len));
    auto sound = std::make_unique<MixerSound>(name, std::move(buffer));
    if (!sound->Chunk()) {
      SetLastError(DataFileProblem(DataKind::kSound, name, Mix_GetError()));
      return nullptr;
    }
    return sound;
  }

 protected:
  bool Start(const audio::SoundBuffer& sound, audio::PlayKind kind) override {
    if (!open_) return true;  // silent, but nothing was skipped
    Mix_Chunk* chunk = static_cast<const MixerSound&>(sound).Chunk();
    if (kind == audio::PlayKind::kInterface) {
      for (int c = 0; c < audio::kInterfaceChannels; ++c)
        if (!Mix_Playing(c)) return Mix_PlayChannel(c, chunk, 0) >= 0;
      if (Mix_PlayChannel(-1, chunk, 0) >= 0) return true;
      const int oldest = Mix_GroupOldest(kInterfaceGroup);
      return oldest >= 0 && Mix_PlayChannel(oldest, chunk, 0) >= 0;
    }
    // -1: the first free channel that is not reserved; none free fails and the play is skipped.
    return Mix_PlayChannel(-1, chunk, 0) >= 0;
  }

 private:
  bool open_;
  int rate_ = 44100;
  uint16_t format_ = AUDIO_S16SYS;
  int channels_ = 2;
};

// Leaves the audio subsystem running even when no device opens: quitting it waits for the
// device-watch thread of some drivers (up to 100 ms on ALSA), which start-up should not pay.
bool OpenMixer() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) return false;
  // Opening the device resets the channel count. The first channels are kept for the interface:
  // playing on "any free channel" never takes them.
  Mix_AllocateChannels(audio::kMixerChannels);
  Mix_ReserveChannels(audio::kInterfaceChannels);
  Mix_GroupChannels(0, audio::kInterfaceChannels - 1, kInterfaceGroup);
  return true;
}

// Sound libraries print their own complaints while probing for a device; a machine without one
// should see our single line instead, so standard error is quiet during the first attempt.
bool OpenMixerQuietly() {
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
  const bool opened = OpenMixer();
  std::fflush(stderr);
  if (saved >= 0) {
    dup2(saved, STDERR_FILENO);
    close(saved);
  }
  if (null >= 0) close(null);
  return opened;
}

}  // namespace

std::unique_ptr<audio::AudioDevice> OpenSdlAudio() {
  if (OpenMixerQuietly()) return std::make_unique<MixerAudio>(true);
  std::fprintf(stderr, "zentrova: no audio device (%s), running silent\n", SDL_GetError());
  return std::make_unique<MixerAudio>(false);
}

}  // namespace platform
