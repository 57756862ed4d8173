// PNG files made in the tests: chunks with their CRCs, and small pictures of every colour type
// and depth with random samples and optional ancillary chunks, plain or interlaced.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/compression.h"

namespace png_builder {

inline void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(uint8_t(v >> shift));
}

inline std::vector<uint8_t> Chunk(const char* type, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  Put32(&out, uint32_t(data.size()));
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(type[i]));
  out.insert(out.end(), data.begin(), data.end());
  Put32(&out, platform::Crc32(&out[4], 4 + data.size()));  // over the type and the data
  return out;
}

inline std::vector<uint8_t> Packed(const std::vector<uint8_t>& raw) {
  return platform::Compress(raw.data(), raw.size());
}

inline const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// A picture of random shape and samples: colour type, depth, palette, transparency, gamma, and
// text, compressed text and an unknown ancillary chunk, each chosen at random.
struct RandomPicture {
  int type = 0, depth = 8, channels = 1;
  uint32_t width = 1, height = 1;
  std::vector<uint16_t> samples;                // width x height x channels, row by row
  std::vector<std::vector<uint8_t>> ancillary;  // whole chunks, between IHDR and IDAT

  explicit RandomPicture(std::mt19937& random) {
    const auto pick = [&](int n) { return int(random() % uint32_t(n)); };
    static const int kTypes[5] = {0, 2, 3, 4, 6};
    type = kTypes[pick(5)];
    static const std::vector<int> kDepths[7] = {{1, 2, 4, 8, 16}, {}, {8, 16}, {1, 2, 4, 8},
                                                {8, 16},          {}, {8, 16}};
    depth = kDepths[type][size_t(pick(int(kDepths[type].size())))];
    channels = type == 2 ? 3 : type == 4 ? 2 : type == 6 ? 4 : 1;
    width = 1 + uint32_t(pick(9));
    height = 1 + uint32_t(pick(9));
    samples.resize(size_t(width) * height * size_t(channels));
    for (uint16_t& v : samples) v = uint16_t(random() & ((1u << depth) - 1));
    const auto random_bytes = [&](size_t n) {
      std::vector<uint8_t> bytes(n);
      for (uint8_t& b : bytes) b = uint8_t(random());
      return bytes;
    };
    if (pick(3) == 0) {
      static const uint32_t kGammas[4] = {45455, 100000, 50000, 22000};
      std::vector<uint8_t> gamma;
      Put32(&gamma, kGammas[pick(4)]);
      ancillary.push_back(Chunk("gAMA", gamma));
    }
    if (pick(3) == 0)
      ancillary.push_back(Chunk("tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h'}));
    if (pick(3) == 0) {
      std::vector<uint8_t> z = {'T', 'i', 't', 'l', 'e', 0, 0};
      const std::vector<uint8_t> packed = Packed(random_bytes(40));
      z.insert(z.end(), packed.begin(), packed.end());
      ancillary.push_back(Chunk("zTXt", z));
    }
    if (pick(3) == 0) ancillary.push_back(Chunk("zeNt", random_bytes(size_t(pick(20)))));
    const int entries = 1 << (depth > 8 ? 8 : depth);
    if (type == 3) ancillary.push_back(Chunk("PLTE", random_bytes(size_t(3 * entries))));
    if (pick(2) == 0 && (type == 0 || type == 2 || type == 3)) {
      const size_t n = type == 0 ? 2 : type == 2 ? 6 : size_t(1 + pick(entries));
      ancillary.push_back(Chunk("tRNS", random_bytes(n)));
    }
  }

  // The file, plain or with Adam7 interlace; rows unfiltered, so both hold the same samples.
  std::vector<uint8_t> Encode(bool interlaced) const {
    std::vector<uint8_t> header;
    Put32(&header, width);
    Put32(&header, height);
    for (int v : {depth, type, 0, 0, interlaced ? 1 : 0}) header.push_back(uint8_t(v));
    std::vector<uint8_t> file(kSignature, kSignature + 8);
    const auto add = [&](const std::vector<uint8_t>& chunk) {
      file.insert(file.end(), chunk.begin(), chunk.end());
    };
    add(Chunk("IHDR", header));
    for (const auto& chunk : ancillary) add(chunk);
    static const int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::vector<uint8_t> raw;
    for (int p = 0; p < (interlaced ? 7 : 1); ++p) {
      const uint32_t x0 = interlaced ? uint32_t(kPasses[p][0]) : 0;
      const uint32_t y0 = interlaced ? uint32_t(kPasses[p][1]) : 0;
      const uint32_t dx = interlaced ? uint32_t(kPasses[p][2]) : 1;
      const uint32_t dy = interlaced ? uint32_t(kPasses[p][3]) : 1;
      if (x0 >= width) continue;
      for (uint32_t y = y0; y < height; y += dy) {
        raw.push_back(0);  // no filter
        uint32_t bits = 0, held = 0;
        for (uint32_t x = x0; x < width; x += dx)
          for (int c = 0; c < channels; ++c) {
            const uint16_t v = samples[(size_t(y) * width + x) * size_t(channels) + size_t(c)];
            if (depth == 16) {
              raw.push_back(uint8_t(v >> 8));
              raw.push_back(uint8_t(v));
              continue;
            }
            bits = (bits << depth) | v;
            held += uint32_t(depth);
            if (held == 8) {
              raw.push_back(uint8_t(bits));
              bits = held = 0;
            }
          }
        if (held) raw.push_back(uint8_t(bits << (8 - held)));
      }
    }
    add(Chunk("IDAT", Packed(raw)));
    add(Chunk("IEND", {}));
    return file;
  }
};

}  // namespace png_builder
