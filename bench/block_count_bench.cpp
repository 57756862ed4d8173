// Every kind of play frame at 100, 1,000, 3,000 and 10,000 blocks (the starting towers and
// blocks added in the air): only the pointer moving, the camera turning, a hand drag, a handle
// drag, and the frames of the door. Each figure beside the memory-touch bound of what a frame
// writes, measured in the same run (the counters frame_ms, bound_ms, ratio); the 100-block row
// is the same frame at the starting count.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>
#include <vector>

#include "bench_timing.h"
#include "blocks/physics_step.h"
#include "bottom_edge.h"
#include "collapse_scenes.h"
#include "memory/heap_figures.h"
#include "scenes/scene_manager.h"
#include "test_app.h"

namespace {

// The play scene with `blocks` blocks, its frames drawn.
std::unique_ptr<TestApp> Scene(int blocks) {
  auto t = std::make_unique<TestApp>();
  t->EnterPlay();
  scenes::AddBlocksInTheAir(*t, t->world().blockSet, blocks, 29);
  t->Move(320, 300);
  t->Frames(2);
  return t;
}

// The left button pressed at `at`, a frame before and one after, as a person takes what is there.
void PressAt(TestApp& t, platform::Point at) {
  t.Move(at.x, at.y);
  t.NextFrame();
  t.Press();
  t.NextFrame();
}

// One frame, update and render; apart, so that an instruction count can be taken of it alone
// (valgrind --tool=callgrind --dump-before=*PlayOneFrame* --dump-after=*PlayOneFrame*).
[[gnu::noinline]] void PlayOneFrame(SceneManager* scenes) {
  scenes->Update();
  scenes->Render();
  benchmark::ClobberMemory();  // no tail call: the frame's end is seen
}

// Times `frame` (a move of the mouse or a change of state, then update and render), then the
// bound by its own clock; medians, the 95th percentile of the frames, and their ratio. A `frame`
// that returns false leaves its frame out of the figures.
template <class FrameFn>
void Measure(benchmark::State& state, TestApp& t, FrameFn&& frame) {
  bench::MemoryBound bound = bench::PlayFrameBound();
  SceneManager* scenes = t.app().Scenes();
  std::vector<double> frames, bounds, cpu;
  const auto* device = t.app().Graphics().Device();
  const BlockSet& set = t.world().blockSet;
  const uint64_t drawn_before = device->HiddenSkipped(), picked_before = set.HiddenSkipped();
  for (auto _ : state) {
    const bench::Clock::time_point start = bench::Clock::now();
    const double cpu_start = bench::CpuMs();
    bool counted = true;
    if constexpr (std::is_same_v<decltype(frame()), bool>)
      counted = frame();
    else
      frame();
    PlayOneFrame(scenes);
    if (counted) frames.push_back(bench::MsSince(start));
    if (counted) cpu.push_back(bench::CpuMs() - cpu_start);
    state.PauseTiming();
    bounds.push_back(bound.TouchMs());
    t.platform().ClearSounds();
    state.ResumeTiming();
  }
  if (frames.empty()) return;
  std::sort(frames.begin(), frames.end());
  std::sort(bounds.begin(), bounds.end());
  const double f = frames[frames.size() / 2], b = bounds[bounds.size() / 2];
  state.counters["frame_ms"] = f;
  state.counters["cpu_ms"] = bench::Median(cpu);  // both cores
  state.counters["p95_ms"] = frames[std::min(frames.size() - 1, frames.size() * 95 / 100)];
  state.counters["bound_ms"] = b;
  state.counters["ratio"] = b > 0.0 ? f / b : 0.0;
  state.counters["blocks"] = double(t.world().blockSet.Count());
  // Triangles a frame passed over as hidden, in the picture's fill and in the pick fill.
  const double n = double(frames.size());
  state.counters["hidden_drawn"] = double(device->HiddenSkipped() - drawn_before) / n;
  state.counters["hidden_picked"] = double(set.HiddenSkipped() - picked_before) / n;
}

// Only the pointer moves, a pixel to and fro, with the hand: the scene and the camera stay.
void BM_PointerFrame(benchmark::State& state) {
  auto t = Scene(int(state.range(0)));
  int step = 0;
  Measure(state, *t, [&] { t->Move(320 + (step++ & 1), 300); });
  state.counters["reused"] = t->app().Graphics().FramesReused();
}

// The camera turning: a right-button drag, a pixel a frame.
void BM_TurnFrame(benchmark::State& state) {
  auto t = Scene(int(state.range(0)));
  t->platform().Press(platform::MouseButton::kRight);
  t->NextFrame();
  int step = 0;
  Measure(state, *t, [&] { t->Move(320 + (step++ % 200), 300); });
}

// The pick fill alone, on this core, as a turning camera needs it every frame: the table and
// every block walked into the pick buffer, beside a memset of the buffer's bytes.
void BM_PickFill(benchmark::State& state) {
  auto t = Scene(int(state.range(0)));
  BlockSet& set = t->world().blockSet;
  auto* device = t->app().Graphics().Device();
  bench::MemoryBound bound({bench::kScreenCells * 4, bench::kScreenCells * 4});  // depths, ids
  std::vector<double> fills, bounds;
  set.SetPickReuse(false);  // the fill itself, not the skip of an unchanged one
  for (auto _ : state) {
    const bench::Clock::time_point start = bench::Clock::now();
    set.RefreshPickBuffer(device, nullptr);
    fills.push_back(bench::MsSince(start));
    bounds.push_back(bound.TouchMs());
  }
  set.SetPickReuse(true);
  const double f = bench::Median(fills), b = bench::Median(bounds);
  state.counters["frame_ms"] = f;
  state.counters["bound_ms"] = b;
  state.counters["ratio"] = b > 0.0 ? f / b : 0.0;
}
BENCHMARK(BM_PickFill)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The hand drags a block up and down over the others.
void BM_HandDragFrame(benchmark::State& state) {
  auto t = Scene(int(state.range(0)));
  BlockSet& set = t->world().blockSet;
  // The pressed point shows the block to take.
  platform::Point at{320, 40};
  while (at.y < 300 && !set.CellBody(set.FrontCell(at.x, at.y))) at.y += 4;
  PressAt(*t, at);
  if (!t->play().heldBody) return state.SkipWithError("no block under the cursor");
  int step = 0;
  Measure(state, *t, [&] {
    const int s = step++ % 80;
    t->Move(at.x + (s < 40 ? s : 80 - s), at.y + 4 * (s < 40 ? s : 80 - s));
  });
}

// The hand holds a handle taken at a block's bottom edge and moves up and down.
void BM_HandleDragFrameAmong(benchmark::State& state) {
  auto t = Scene(int(state.range(0)));
  BlockSet& set = t->world().blockSet;
  auto* device = t->app().Graphics().Device();
  platform::Point p{0, 0};
  bool found = false;
  for (int i = 0; i < set.Count() && !found; ++i) {
    found = BottomEdgePoint(set, device, *set.At(i), &p) && p.y > 80 && p.y < 300 && p.x > 100 &&
            p.x < 540;
  }
  if (!found) return state.SkipWithError("no bottom edge in view");
  PressAt(*t, p);
  if (!t->play().heldHandle) return state.SkipWithError("no handle taken");
  int step = 0;
  Measure(state, *t, [&] { t->Move(p.x, p.y + (step++ % 60)); });
}

// The door over blocks that fall: the first frames of the fall (step, pick refresh and render),
// their median and 95th percentile (falling_frames: how many were timed before the door closed).
// Range 0: blocks added in the air beside the starting towers; range 1: 1, the dense random scene
// instead (every block moving, overlapping where it starts); 2, the starting towers leant over
// and copied in depth by the grab handles until there are `blocks`.
void BM_DoorFrame(benchmark::State& state) {
  const int blocks = int(state.range(0));
  auto t = std::make_unique<TestApp>();
  t->EnterPlay();
  BlockSet& set = t->world().blockSet;
  set.SetTwoCorePairs(state.range(2) == 0);
  if (state.range(1) == 1) {
    set.RemoveAll();
    scenes::AddRandomBlocks(*t, set, blocks, 4242);
  } else if (state.range(1) == 2) {
    scenes::LeanTowers(set);
    scenes::CopyTowersInDepth(*t, set, blocks, 31);
  } else {
    scenes::LeanTowers(set);  // the starting towers fall too
    scenes::AddBlocksInTheAir(*t, set, blocks, 29);
  }
  Tool* door = t->world().tools[3].get();
  t->Move(int(door->x) + 24, int(door->y) + 24);
  t->NextFrame();
  t->Click(int(door->x) + 24, int(door->y) + 24);
  int falling = 0;  // frames before the door closed; only those count
  Measure(state, *t, [&] {
    const bool still = t->current() == &t->play() && !t->play().doorPictureShown;
    falling += still;
    t->platform().Advance(21);
    return still;
  });
  state.counters["falling_frames"] = falling;
  state.counters["builds"] = set.contactGrid.Builds();
  state.counters["relists"] = set.contactGrid.Relists();
  // The share of the blocks' pairs the second core took, and how often a step the first core
  // paused for it.
  const double steps = std::max(falling, 1);
  state.counters["pairs_beside"] =
      double(set.PairsBeside()) / (kRelaxationPasses * steps * double(set.Count()));
  state.counters["pauses_per_step"] = double(set.PairsIdle()) / steps;
}
BENCHMARK(BM_DoorFrame)
    ->Args({100, 0, 0})
    ->Args({1000, 0, 0})
    ->Args({1000, 1, 0})
    ->Args({1000, 2, 0})
    ->Args({1000, 2, 1})
    ->Args({3000, 0, 0})
    ->Args({3000, 2, 0})
    ->Args({3000, 2, 1})
    ->Iterations(600)  // about 12.6 s of the fall, every frame until the door closes
    ->Unit(benchmark::kMillisecond);

// The heap in use with `blocks` blocks, two frames drawn (the allocator's own figure, small
// blocks in use plus mapped ones; run with GLIBC_TUNABLES=glibc.malloc.tcache_count=0 for an
// exact one): heap_MB, and per_block_bytes beside the same scene's figure at 100 blocks.
void BM_HeapAtBlocks(benchmark::State& state) {
  const int blocks = int(state.range(0));
  double heap = 0, base = 0;
  for (auto _ : state) {
    const size_t before = heap::InUse();
    {
      auto t = Scene(100);
      base = double(heap::InUse() - before);
    }
    const size_t between = heap::InUse();
    auto t = Scene(blocks);
    heap = double(heap::InUse() - between);
  }
  state.counters["heap_MB"] = heap / 1.0e6;
  state.counters["at_100_MB"] = base / 1.0e6;
  state.counters["per_block_bytes"] = blocks > 100 ? (heap - base) / (blocks - 100) : 0.0;
}
BENCHMARK(BM_HeapAtBlocks)->Arg(1000)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Blocks added as a second handle adds them (AddBlockOwnContext) until the set holds `blocks`,
// from the starting hundred: the time per block, beside a memset of the bytes of one Block
// object (the least any way of adding touches), measured in the same run.
void BM_AddBlocks(benchmark::State& state) {
  const int blocks = int(state.range(0));
  auto t = std::make_unique<TestApp>();
  t->EnterPlay();
  BlockSet& set = t->world().blockSet;
  auto* device = t->app().Graphics().Device();
  std::vector<uint8_t> bytes(sizeof(Block), 1);
  double add_ms = 0, bound_ms = 0;
  long added = 0;
  for (auto _ : state) {
    state.PauseTiming();
    while (set.Count() > 100) set.RemoveAt(set.Count() - 1);
    state.ResumeTiming();
    const bench::Clock::time_point start = bench::Clock::now();
    while (set.Count() < blocks) {
      set.AddBlockOwnContext(device, t->app().Sounds(), {0, 1, 0}, {2, 2, 2});
      ++added;
    }
    add_ms += bench::MsSince(start);
    state.PauseTiming();
    const bench::Clock::time_point touch = bench::Clock::now();
    for (int i = 100; i < blocks; ++i) {
      std::memset(bytes.data(), i & 0xFF, bytes.size());
      benchmark::DoNotOptimize(bytes.data());
      benchmark::ClobberMemory();
    }
    bound_ms += bench::MsSince(touch);
    state.ResumeTiming();
  }
  const double n = double(std::max(added, 1L));
  state.counters["add_us"] = 1000.0 * add_ms / n;
  state.counters["bound_us"] = 1000.0 * bound_ms / n;
  state.counters["ratio"] = bound_ms > 0 ? add_ms / bound_ms : 0.0;
}
BENCHMARK(BM_AddBlocks)->Arg(1000)->Arg(10000)->Iterations(3)->Unit(benchmark::kMillisecond);

#define SCALE_ARGS Arg(100)->Arg(1000)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_PointerFrame)->SCALE_ARGS;
BENCHMARK(BM_TurnFrame)->SCALE_ARGS;
BENCHMARK(BM_HandDragFrame)->SCALE_ARGS;
BENCHMARK(BM_HandleDragFrameAmong)->SCALE_ARGS;

}  // namespace
