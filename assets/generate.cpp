// Writes every picture and sound the program reads into the given folder, deterministically.
#include <cstdio>
#include <filesystem>

#include "assets/pictures.h"
#include "assets/sounds.h"
#include "platform/audio/wav.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zentrova_assets OUTPUT_FOLDER\n");
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    std::fprintf(stderr, "zentrova_assets: cannot create %s: %s\n", argv[1],
                 error.message().c_str());
    return 1;
  }
  for (const assets::NamedPicture& picture : assets::MakePictures()) {
    const std::string path = (folder / picture.file).string();
    bool ok = picture.png ? picture.canvas.WritePng(path) : picture.canvas.WriteBmp(path);
    if (!ok) {
      std::fprintf(stderr, "zentrova_assets: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  for (const assets::NamedSound& sound : assets::MakeSounds()) {
    const std::string path = (folder / sound.file).string();
    std::vector<uint8_t> bytes = platform::audio::EncodeWav(sound.pcm);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f && std::fclose(f) != 0) ok = false;
    if (!ok) {
      std::fprintf(stderr, "zentrova_assets: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
