// The glTF export of 100 and 1,000 blocks with every face painted, beside a copy of the file's
// bytes: the least any writer of that file spends.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench_timing.h"
#include "collapse_scenes.h"
#include "keep/gltf_export.h"
#include "test_app.h"

namespace {

// The eight pens' colours, as a person's strokes leave them.
constexpr uint8_t kPens[8][3] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},     {0, 255, 255},
                                 {255, 0, 255}, {255, 255, 0}, {255, 255, 255}, {128, 128, 128}};

// The starting towers and more blocks in the air, every texel of every face and of the table
// painted with a pen taken at random: the worst a person's pens can leave.
std::unique_ptr<TestApp> PaintedScene(int blocks) {
  auto t = std::make_unique<TestApp>();
  t->EnterPlay();
  BlockSet& set = t->world().blockSet;
  scenes::AddRandomBlocks(*t, set, blocks - set.Count(), 3);
  platform::PortableRand random;
  random.Seed(9);
  auto paint = [&](std::vector<uint8_t>& rgb) {
    for (size_t i = 0; i + 3 <= rgb.size(); i += 3)
      std::memcpy(&rgb[i], kPens[random.Next() % 8], 3);
  };
  for (int i = 0; i < set.Count(); ++i)
    for (int f = 0; f < 6; ++f) {
      ImageTexture& texture = *set.At(i)->PaintableFaceTexture(f);
      paint(texture.Backing()->Buffer());
      texture.Upload(0, 0, 8, 8);
    }
  paint(t->world().table.texture.Backing()->Buffer());
  return t;
}

void BM_ExportGltf(benchmark::State& state) {
  auto t = PaintedScene(int(state.range(0)));
  std::vector<uint8_t> bytes;
  std::string why;
  for (auto _ : state) {
    EncodeGlb(SceneOfWorld(t->world()), "Zentrova bench", &bytes, &why);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.counters["file_kb"] = double(bytes.size()) / 1024.0;
  // The bound: one copy of as many bytes as the file holds, timed in the same run.
  state.counters["copy_bound_ms"] = bench::CopyMs(bytes.size(), 200);
}
BENCHMARK(BM_ExportGltf)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
