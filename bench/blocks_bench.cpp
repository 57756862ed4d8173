// The pick buffers of the hundred-block starting scene: the refresh, and the outline pass, each
// beside a memset of the bytes it owns.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "test_app.h"

namespace {

// The play scene as entered, with its first frame drawn.
TestApp& StartingScene() {
  static TestApp* t = [] {
    auto* app = new TestApp();
    app->NextFrame();
    app->Click(150, 370);
    app->Frames(12);
    return app;
  }();
  return *t;
}

void BM_RefreshPickBuffer(benchmark::State& state) {
  TestApp& t = StartingScene();
  auto* device = t.app().Graphics().Device();
  BlockSet& set = t.world().blockSet;
  set.SetPickReuse(false);  // the fill itself, not the skip of an unchanged one
  for (auto _ : state) set.RefreshPickBuffer(device, nullptr);
  set.SetPickReuse(true);
}
BENCHMARK(BM_RefreshPickBuffer)->Unit(benchmark::kMillisecond);

void BM_MemsetOfOnePickBuffer(benchmark::State& state) {
  std::vector<float> depths(640 * 480);
  std::vector<uint32_t> ids(640 * 480);
  for (auto _ : state) {
    std::memset(depths.data(), 0, depths.size() * sizeof(float));
    std::memset(ids.data(), 0, ids.size() * sizeof(uint32_t));
    benchmark::DoNotOptimize(depths.data());
    benchmark::DoNotOptimize(ids.data());
  }
}
BENCHMARK(BM_MemsetOfOnePickBuffer)->Unit(benchmark::kMillisecond);

void BM_MarkAndDrawOutlines(benchmark::State& state) {
  TestApp& t = StartingScene();
  auto& graphics = t.app().Graphics();
  for (auto _ : state) t.world().blockSet.DrawOutlines(graphics.Device(), graphics.BackBuffer());
}
BENCHMARK(BM_MarkAndDrawOutlines)->Unit(benchmark::kMillisecond);

void BM_MemsetOfEdgeMaskAndBackBuffer(benchmark::State& state) {
  std::vector<uint8_t> mask(640 * 480);
  std::vector<uint32_t> frame(640 * 480);
  for (auto _ : state) {
    std::memset(mask.data(), 0, mask.size());
    std::memset(frame.data(), 0, frame.size() * 4);
    benchmark::DoNotOptimize(mask.data());
    benchmark::DoNotOptimize(frame.data());
  }
}
BENCHMARK(BM_MemsetOfEdgeMaskAndBackBuffer)->Unit(benchmark::kMillisecond);

}  // namespace
