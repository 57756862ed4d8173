// Timing beside the library's for the benchmarks: a steady clock read in milliseconds, the median,
// and the bounds the figures are set beside, measured in the same run: a memset of buffers the
// size of what a frame writes, and a memcpy of a number of bytes.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The processor time of the whole process so far, both cores', in ms: unlike the clock, it leaves
// out the time the process waited for a processor another program held.
inline double CpuMs() {
  return 1000.0 * double(std::clock()) / double(CLOCKS_PER_SEC);
}

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0.0 : v[v.size() / 2];
}

// Scratch buffers the size of what one frame writes, each set once per measurement.
class MemoryBound {
 public:
  explicit MemoryBound(std::vector<size_t> sizes) {
    for (size_t s : sizes) buffers_.emplace_back(s, uint8_t(1));
  }
  double TouchMs() {
    const Clock::time_point start = Clock::now();
    for (auto& b : buffers_) {
      std::memset(b.data(), int(++fill_ & 0xFF), b.size());
      benchmark::DoNotOptimize(b.data());
    }
    benchmark::ClobberMemory();
    return MsSince(start);
  }

 private:
  std::vector<std::vector<uint8_t>> buffers_;
  unsigned fill_ = 0;
};

inline constexpr size_t kScreenCells = 640 * 480;
// A play frame writes the back buffer, the depth buffer, both arrays of the front pick buffer,
// the edge mask and the presented copy of the frame.
inline MemoryBound PlayFrameBound() {
  return MemoryBound({kScreenCells * 4, kScreenCells * 4, kScreenCells * 4, kScreenCells * 4,
                      kScreenCells, kScreenCells * 4});
}

// One memcpy of `bytes` bytes, in ms: the average of `rounds`.
inline double CopyMs(size_t bytes, int rounds) {
  std::vector<uint8_t> from(bytes, 1), to(bytes);
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    std::memcpy(to.data(), from.data(), bytes);
    benchmark::DoNotOptimize(to.data());
  }
  return MsSince(start) / rounds;
}

}  // namespace bench
