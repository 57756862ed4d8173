#pragma once

#include <cstdint>

namespace platform {

// The classic C runtime generator, so the tower jitter is the same on every OS.
class PortableRand {
 public:
  void Seed(uint32_t seed) { state_ = seed; }
  // 0 .. 32767.
  int Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_ = 1;
};

}  // namespace platform
