#include <filesystem>
#include <system_error>

#include "platform/audio/audio_device.h"
#include "platform/platform.h"
#include "platform/whole_file.h"

namespace platform::audio {

const SoundBuffer* Loader::LoadObjectFromFile(const std::string& name) {
  std::string path = directory_.empty() ? name : directory_ + "/" + name;
  auto found = cache_.find(path);
  if (found != cache_.end()) return found->second.get();
  std::vector<uint8_t> bytes;
  std::string why;
  PcmSound pcm;
  if (!ReadWholeFile(path, &bytes, &why) || !ParseWav(bytes.data(), bytes.size(), &pcm, &why)) {
    SetLastError(DataFileProblem(DataKind::kSound, path, why));
    return nullptr;
  }
  std::unique_ptr<SoundBuffer> buffer = device_->Prepare(name, pcm);
  if (!buffer) return nullptr;
  return cache_.emplace(path, std::move(buffer)).first->second.get();
}

std::string Loader::CurrentDirectory() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::current_path(error);
  return error ? std::string() : path.string();
}

}  // namespace platform::audio
