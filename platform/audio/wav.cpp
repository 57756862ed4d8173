#include "platform/audio/wav.h"

#include <cstring>

namespace platform::audio {

namespace {
uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
bool Fail(std::string* why, const char* reason) {
  if (why) *why = reason;
  return false;
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (8 * i)));
}
void PutTag(std::vector<uint8_t>* out, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(tag[i]));
}
void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(uint8_t(v));
  out->push_back(uint8_t(v >> 8));
}
}  // namespace

bool ParseWav(const uint8_t* data, size_t size, PcmSound* out, std::string* why) {
  if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
    return Fail(why, "not a WAV file (no RIFF/WAVE header)");
  size_t at = 12;
  bool have_format = false;
  int channels = 0, rate = 0;
  while (at + 8 <= size) {
    const uint8_t* chunk = data + at;
    uint32_t length = U32(chunk + 4);
    if (length > size - at - 8) return Fail(why, "WAV chunk runs past the end of the file");
    const uint8_t* body = chunk + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16) return Fail(why, "WAV format chunk too short");
      if (U16(body) != 1) return Fail(why, "WAV is not PCM");
      channels = U16(body + 2);
      rate = int(U32(body + 4));
      if (channels < 1 || channels > 2) return Fail(why, "WAV must have one or two channels");
      if (rate < 4000 || rate > 192000) return Fail(why, "unsupported WAV sample rate");
      if (U16(body + 14) != 16) return Fail(why, "WAV must have 16-bit samples");
      have_format = true;
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) return Fail(why, "WAV data before its format");
      size_t frame = size_t(channels) * 2;
      size_t count = (length / frame) * channels;
      if (count == 0) return Fail(why, "WAV has no samples");
      out->channels = channels;
      out->rate = rate;
      out->samples.resize(count);
      for (size_t i = 0; i < count; ++i) out->samples[i] = int16_t(U16(body + 2 * i));
      return true;
    }
    at += 8 + size_t(length) + (length & 1);
  }
  return Fail(why, have_format ? "WAV has no data chunk" : "WAV has no format chunk");
}

std::vector<uint8_t> EncodeWav(const PcmSound& sound) {
  std::vector<uint8_t> out;
  uint32_t data_bytes = uint32_t(sound.samples.size() * 2);
  out.reserve(44 + data_bytes);
  PutTag(&out, "RIFF");
  Put32(&out, 36 + data_bytes);
  PutTag(&out, "WAVE");
  PutTag(&out, "fmt ");
  Put32(&out, 16);
  Put16(&out, 1);
  Put16(&out, uint16_t(sound.channels));
  Put32(&out, uint32_t(sound.rate));
  Put32(&out, uint32_t(sound.rate * sound.channels * 2));
  Put16(&out, uint16_t(sound.channels * 2));
  Put16(&out, 16);
  PutTag(&out, "data");
  Put32(&out, data_bytes);
  for (int16_t s : sound.samples) Put16(&out, uint16_t(s));
  return out;
}

}  // namespace platform::audio
