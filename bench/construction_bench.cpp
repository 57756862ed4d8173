// Saving and loading a construction, each beside the bound of touching the same bytes in the same
// run (a memcpy of the unpacked payload and the picture), as ms and the ratio: the starting
// towers, and 1,000 blocks with every face texel painted. Then opening and drawing a crowd whose
// blocks are stretched as far as a file may hold them, beside the same crowd as it is.
// Counters: op_ms, bound_ms, ratio, file_kb.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
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

// The crowd of Scene(1000) in block_count_bench (the starting towers and blocks in the air),
// each block's corners scaled about its centre by `scale`, or so that its farthest corner
// coordinate reaches `reach` (0: not), as a saved file.
std::vector<uint8_t> CrowdFile(TestApp& t, float scale, float reach) {
  Snapshot snapshot = TakeSnapshot(t.world(), t.play());
  for (Snapshot::Block& b : snapshot.blocks) {
    float k = scale;
    if (reach > 0.0f) {
      float farthest = 0.0f;
      for (const Vec3& c : b.corners)
        for (float d : {c.x - b.centre.x, c.y - b.centre.y, c.z - b.centre.z})
          farthest = std::max(farthest, std::fabs(d));
      const float from_centre =
          std::max({std::fabs(b.centre.x), std::fabs(b.centre.y), std::fabs(b.centre.z)});
      k = (reach - from_centre) / farthest;
    }
    for (Vec3* corners : {b.corners, b.savedCorners})
      for (int i = 0; i < 8; ++i) {
        Vec3& c = corners[i];
        c = {b.centre.x + (c.x - b.centre.x) * k, b.centre.y + (c.y - b.centre.y) * k,
             b.centre.z + (c.z - b.centre.z) * k};
      }
  }
  std::vector<uint32_t> picture;
  int width = 0, height = 0;
  t.play().DrawPicture(&picture, &width, &height);
  std::vector<uint8_t> png;
  std::string why;
  MakeConstructionPng(snapshot, picture.data(), width, height, &png, &why);
  return png;
}

// A file opened (read, restored) and its first two frames drawn and picked.
double OpenAndDrawMs(TestApp& t, const std::vector<uint8_t>& png, std::string* why) {
  const bench::Clock::time_point start = bench::Clock::now();
  Snapshot snapshot;
  if (!ReadConstructionPng(png.data(), png.size(), &snapshot, why) ||
      !RestoreSnapshot(snapshot, &t.world(), &t.play(), why))
    return -1.0;
  t.Frames(2);
  t.world().blockSet.FinishPickRefresh();
  return bench::MsSince(start);
}

// A thousand blocks stretched (arg: 0 each block scaled to edges of 10^4, the most a block's
// size may be; 1 each reaching a corner coordinate of 10^6, the world's bound) opened and drawn
// beside the same blocks as they are, in the same run: op_ms, bound_ms (the plain file), ratio.
void BM_OpenStretchedCrowd(benchmark::State& state) {
  auto t = std::make_unique<TestApp>();
  t->EnterPlay();
  scenes::AddBlocksInTheAir(*t, t->world().blockSet, 1000, 29);
  t->Frames(2);
  const std::vector<uint8_t> plain = CrowdFile(*t, 1.0f, 0.0f);
  const std::vector<uint8_t> stretched =
      state.range(0) == 0 ? CrowdFile(*t, 5000.0f, 0.0f) : CrowdFile(*t, 1.0f, 999000.0f);
  std::vector<double> op, bound;
  std::string why;
  for (auto _ : state) {
    bound.push_back(OpenAndDrawMs(*t, plain, &why));
    op.push_back(OpenAndDrawMs(*t, stretched, &why));
    if (bound.back() < 0.0 || op.back() < 0.0) {
      state.SkipWithError(why.c_str());
      return;
    }
  }
  const double op_ms = bench::Median(op), bound_ms = bench::Median(bound);
  state.counters["op_ms"] = op_ms;
  state.counters["bound_ms"] = bound_ms;
  state.counters["ratio"] = op_ms / bound_ms;
  state.counters["file_kb"] = double(stretched.size()) / 1024.0;
}

}  // namespace

// 0: the hundred starting blocks as they are; 1000: a thousand, every face texel painted.
BENCHMARK(BM_ConstructionSave)->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConstructionLoad)->Arg(0)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenStretchedCrowd)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
