// Saving and loading a construction, each beside the bound of touching the same bytes in the same
// run (a memcpy of the unpacked payload and the picture), as ms and the ratio: the starting
// towers, and 1,000 blocks with every face texel painted. Counters: op_ms, bound_ms, ratio,
// file_kb.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_timing.h"
#include "collapse_scenes.h"
#include "play/construction_file.h"
#include "play/snapshot.h"
#include "play/snapshot_codec.h"
#include "test_app.h"

namespace {

std::unique_ptr<TestApp> PlaySpace(int painted_blocks) {
  auto t = std::make_unique<TestApp>();
  t->EnterPlay();
  if (painted_blocks > 0) {
    BlockSet& set = t->world().blockSet;
    scenes::AddRandomBlocks(*t, set, painted_blocks - set.Count(), 7);
    platform::PortableRand random;
    random.Seed(11);
    for (int i = 0; i < set.Count(); ++i)
      for (int f = 0; f < 6; ++f) {
        ImageTexture& face = *set.At(i)->PaintableFaceTexture(f);
        for (uint8_t& texel : face.Backing()->Buffer()) texel = uint8_t(random.Next());
        face.Upload(0, 0, face.Width(), face.Height());
      }
    t->NextFrame();
  }
  return t;
}

// The save without the disk: the picture drawn, the snapshot taken, the PNG made.
std::vector<uint8_t> Save(TestApp& t) {
  std::vector<uint32_t> picture;
  int width = 0, height = 0;
  t.play().DrawPicture(&picture, &width, &height);
  std::vector<uint8_t> png;
  std::string why;
  MakeConstructionPng(TakeSnapshot(t.world(), t.play()), picture.data(), width, height, &png, &why);
  return png;
}

// Touches as many bytes as the operation handles unpacked: the payload and the picture.
double BoundMs(std::vector<uint8_t>& from, std::vector<uint8_t>& to) {
  const bench::Clock::time_point start = bench::Clock::now();
  std::memcpy(to.data(), from.data(), from.size());
  benchmark::DoNotOptimize(to.data());
  benchmark::ClobberMemory();
  return bench::MsSince(start);
}

void Report(benchmark::State& state, double op_ms, double bound_ms, size_t file_bytes) {
  const double n = double(state.iterations());
  state.counters["op_ms"] = op_ms / n;
  state.counters["bound_ms"] = bound_ms / n;
  state.counters["ratio"] = bound_ms > 0.0 ? op_ms / bound_ms : 0.0;
  state.counters["file_kb"] = double(file_bytes) / 1024.0;
}

void BM_ConstructionSave(benchmark::State& state) {
  std::unique_ptr<TestApp> t = PlaySpace(int(state.range(0)));
  const size_t unpacked =
      EncodeSnapshot(TakeSnapshot(t->world(), t->play())).size() + 640 * 480 * 4;
  std::vector<uint8_t> from(unpacked, 1), to(unpacked);
  double op_ms = 0.0, bound_ms = 0.0;
  size_t file_bytes = 0;
  for (auto _ : state) {
    const bench::Clock::time_point start = bench::Clock::now();
    file_bytes = Save(*t).size();
    op_ms += bench::MsSince(start);
    bound_ms += BoundMs(from, to);
  }
  Report(state, op_ms, bound_ms, file_bytes);
}

void BM_ConstructionLoad(benchmark::State& state) {
  std::unique_ptr<TestApp> t = PlaySpace(int(state.range(0)));
  const std::vector<uint8_t> png = Save(*t);
  const size_t unpacked = EncodeSnapshot(TakeSnapshot(t->world(), t->play())).size();
  std::vector<uint8_t> from(unpacked, 1), to(unpacked);
  double op_ms = 0.0, bound_ms = 0.0;
  for (auto _ : state) {
    const bench::Clock::time_point start = bench::Clock::now();
    Snapshot snapshot;
    std::string why;
    if (!ReadConstructionPng(png.data(), png.size(), &snapshot, &why) ||
        !RestoreSnapshot(snapshot, &t->world(), &t->play(), &why))
      state.SkipWithError(why.c_str());
    op_ms += bench::MsSince(start);
    bound_ms += BoundMs(from, to);
  }
  Report(state, op_ms, bound_ms, png.size());
}

}  // namespace

// 0: the hundred starting blocks as they are; 1000: a thousand, every face texel painted.
BENCHMARK(BM_ConstructionSave)->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConstructionLoad)->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
