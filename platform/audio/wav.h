#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::audio {

// 16-bit PCM samples, interleaved by channel.
struct PcmSound {
  int channels = 0;
  int rate = 0;
  std::vector<int16_t> samples;
};

// Checks and decodes a 16-bit PCM RIFF/WAVE file held in memory: every chunk size is checked
// against the bytes present. False with the reason for anything else.
bool ParseWav(const uint8_t* data, size_t size, PcmSound* out, std::string* why);

// The file bytes of a 16-bit PCM WAV (used by the asset generator and the tests).
std::vector<uint8_t> EncodeWav(const PcmSound& sound);

}  // namespace platform::audio
