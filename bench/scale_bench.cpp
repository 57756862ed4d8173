// Scaling a whole 640x480 frame to the screen (what a frame costs where every row changed), beside
// the memory-touch bound of writing the shown bytes (a memset of the same size), measured
// interleaved in the same run: counters scale_ms, bound_ms and ratio = scale / bound.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "bench_timing.h"
#include "platform/picture_placement.h"
#include "platform/picture_scaler.h"

namespace {

using bench::Clock;
using bench::MsSince;

void ScaleFrame(benchmark::State& state) {
  const int out_w = int(state.range(0)), out_h = int(state.range(1));
  const platform::PixelRect r = platform::FitPicture(640, 480, out_w, out_h);
  std::vector<uint32_t> frame(640 * 480);
  std::mt19937 random(1);
  for (uint32_t& p : frame) p = random() & 1 ? 0xFFFFFF : 0;  // outlines everywhere: no easy rows
  std::vector<uint32_t> shown(size_t(r.w) * r.h), bound(shown.size());
  platform::PictureScaler scaler;
  scaler.Prepare(640, 480, r.w, r.h);
  double scale_ms = 0, bound_ms = 0;
  int fill = 0;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    scaler.ScaleRows(frame.data(), 640, shown.data(), r.w, 0, r.h);
    benchmark::DoNotOptimize(shown.data());
    scale_ms += MsSince(start);
    state.PauseTiming();
    start = Clock::now();
    std::memset(bound.data(), ++fill & 0xFF, bound.size() * 4);
    benchmark::DoNotOptimize(bound.data());
    benchmark::ClobberMemory();
    bound_ms += MsSince(start);
    state.ResumeTiming();
  }
  const double n = double(state.iterations());
  state.counters["scale_ms"] = scale_ms / n;
  state.counters["bound_ms"] = bound_ms / n;
  state.counters["ratio"] = bound_ms > 0 ? scale_ms / bound_ms : 0;
}
// 1.6x, 2.25x, 3x and a whole 2x.
BENCHMARK(ScaleFrame)->Args({1024, 768})->Args({1920, 1080})->Args({1920, 1440})->Args({1280, 960});

}  // namespace
