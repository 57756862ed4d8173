// Whole frames of the play and title scenes, each beside the memory-touch bound of the bytes it
// writes (a memset of buffers of the same sizes), measured interleaved in the same run: the
// counters frame_ms, bound_ms and ratio = frame / bound. Also the parts of a play frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_timing.h"
#include "collapse_scenes.h"
#include "scenes/scene_manager.h"
#include "test_app.h"

namespace {

using bench::Clock;
using bench::MemoryBound;
using bench::MsSince;
using bench::PlayFrameBound;

// A title frame writes the back buffer and the presented copy.
MemoryBound TitleFrameBound() {
  return MemoryBound({bench::kScreenCells * 4, bench::kScreenCells * 4});
}

// Runs `frame` timed, then the bound untimed by the library but by our own clock, and reports
// both and their ratio.
template <class FrameFn>
void MeasureAgainstBound(benchmark::State& state, MemoryBound& bound, FrameFn&& frame) {
  double frame_ms = 0.0, bound_ms = 0.0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    frame();
    frame_ms += MsSince(start);
    state.PauseTiming();
    bound_ms += bound.TouchMs();
    state.ResumeTiming();
  }
  const double n = double(state.iterations());
  state.counters["frame_ms"] = frame_ms / n;
  state.counters["bound_ms"] = bound_ms / n;
  state.counters["ratio"] = bound_ms > 0.0 ? frame_ms / bound_ms : 0.0;
}

TestApp* EnterPlay() {
  auto* t = new TestApp();
  t->NextFrame();
  t->Click(150, 370);
  t->Frames(12);
  t->Move(300, 200);
  return t;
}

// Turns the view a little, so every frame differs from the one before and must be drawn whole.
void TurnALittle(PlayScene& play) {
  play.yaw += 0.25f;
  if (play.yaw > 360.0f) play.yaw -= 360.0f;
}

// Towers of 25 blocks on a grid over the table, clear of the four starting towers (z near 0).
void AddTowers(TestApp& t, int towers) {
  BlockSet& set = t.world().blockSet;
  platform::gdi::DeviceContext dc;
  static constexpr float kRows[4] = {-18.0f, -10.0f, 10.0f, 18.0f};
  for (int n = 0; n < towers; ++n) {
    const float x = -16.0f + 4.0f * float(n / 4), z = kRows[n % 4];
    for (int level = 0; level < 25; ++level)
      set.AddBlock(dc, t.app().Graphics().Device(), t.app().Sounds(), {x, float(2 * level + 1), z},
                   {2.0f, 2.0f, 2.0f});
  }
}

void PlayFrameWithTowers(benchmark::State& state, int extra_towers) {
  TestApp* t = EnterPlay();
  AddTowers(*t, extra_towers);
  SceneManager* scenes = t->app().Scenes();
  MemoryBound bound = PlayFrameBound();
  MeasureAgainstBound(state, bound, [&] {
    TurnALittle(t->play());
    scenes->Update();
    scenes->Render();
  });
  state.counters["blocks"] = double(t->world().blockSet.Count());
  delete t;
}

// The starting scene, the camera turning a little every frame.
void BM_PlayFrame(benchmark::State& state) {
  PlayFrameWithTowers(state, 0);
}
BENCHMARK(BM_PlayFrame)->Unit(benchmark::kMillisecond);

// 1,000 blocks: the starting towers and 36 more, the camera turning.
void BM_PlayFrame1000(benchmark::State& state) {
  PlayFrameWithTowers(state, 36);
}
BENCHMARK(BM_PlayFrame1000)->Unit(benchmark::kMillisecond);

// The door chosen over leant towers: physics and a whole redraw every frame. The fall is
// restarted every 100 frames (untimed), well before it settles.
void BM_CollapseFrame(benchmark::State& state) {
  TestApp* t = EnterPlay();
  SceneManager* scenes = t->app().Scenes();
  PlayScene& play = t->play();
  Tool* door = t->world().tools[3].get();
  auto start_fall = [&] {
    play.Load();
    play.Update(scenes);
    scenes::LeanTowers(t->world().blockSet);
    play.currentTool = door;
    play.doorStartTime = t->platform().TimeMs();
    t->world().blockSet.settleCheck = 1;
  };
  start_fall();
  int frames = 0;
  MemoryBound bound = PlayFrameBound();
  MeasureAgainstBound(state, bound, [&] {
    if (++frames == 100) {
      state.PauseTiming();
      start_fall();
      frames = 0;
      state.ResumeTiming();
    }
    scenes->Update();
    scenes->Render();
  });
  if (scenes->Current() != &play) state.SkipWithError("the collapse ended");
  delete t;
}
BENCHMARK(BM_CollapseFrame)->Unit(benchmark::kMillisecond);

// The title with the cursor moving a pixel to and fro, so every frame is drawn.
void BM_TitleFrame(benchmark::State& state) {
  auto* t = new TestApp();
  t->NextFrame();
  SceneManager* scenes = t->app().Scenes();
  MemoryBound bound = TitleFrameBound();
  int step = 0;
  MeasureAgainstBound(state, bound, [&] {
    t->Move(200 + (step++ & 1), 200);
    scenes->Update();
    scenes->Render();
  });
  delete t;
}
BENCHMARK(BM_TitleFrame)->Unit(benchmark::kMillisecond);

// An idle play frame: nothing moved since the last one.
void BM_PlayFrameIdle(benchmark::State& state) {
  static TestApp* t = EnterPlay();
  SceneManager* scenes = t->app().Scenes();
  for (auto _ : state) {
    scenes->Update();
    scenes->Render();
  }
}
BENCHMARK(BM_PlayFrameIdle)->Unit(benchmark::kMillisecond);

void BM_PlayUpdate(benchmark::State& state) {
  static TestApp* t = EnterPlay();
  SceneManager* scenes = t->app().Scenes();
  for (auto _ : state) {
    TurnALittle(t->play());
    scenes->Update();
  }
}
BENCHMARK(BM_PlayUpdate)->Unit(benchmark::kMillisecond);

void BM_PlayRender(benchmark::State& state) {
  static TestApp* t = EnterPlay();
  SceneManager* scenes = t->app().Scenes();
  for (auto _ : state) {
    // A new camera each time; the update that sets it is not timed.
    state.PauseTiming();
    TurnALittle(t->play());
    scenes->Update();
    state.ResumeTiming();
    scenes->Render();
  }
}
BENCHMARK(BM_PlayRender)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The play scene with the top block of the first tower held by the hand, and a path over the
// towers: down their fronts to table level (where the held block lifts a tower and the back
// buffer is refilled) and up again.
struct Dragging {
  TestApp* t = EnterPlay();
  std::vector<platform::Point> path;
  size_t step = 0;
  Dragging() {
    t->Move(286, 18);  // the first tower's top block
    t->NextFrame();
    t->Press();
    t->NextFrame();
    if (!t->play().heldBody) std::abort();
    for (int i = 0; i < 40; ++i) path.push_back({300 + i, 60 + 9 * i});
    for (int i = 40; i > 0; --i) path.push_back({300 + i, 61 + 9 * i});
  }
  platform::Point Next() { return path[step++ % path.size()]; }
};

void BM_DragFrame(benchmark::State& state) {
  static Dragging d;
  SceneManager* scenes = d.t->app().Scenes();
  int lifts = 0;
  for (auto _ : state) {
    const platform::Point p = d.Next();
    d.t->Move(p.x, p.y);
    scenes->Update();
    scenes->Render();
    lifts += d.t->world().blockSet.groupBlock != nullptr;
  }
  state.counters["lift_share"] = double(lifts) / double(state.iterations());
}
BENCHMARK(BM_DragFrame)->Unit(benchmark::kMillisecond);

// The drag attachment of one frame alone, on the same path.
void BM_DragAttach(benchmark::State& state) {
  static Dragging d;
  BlockSet& set = d.t->world().blockSet;
  auto* device = d.t->app().Graphics().Device();
  Block* held = d.t->play().heldBody;
  for (auto _ : state) {
    const platform::Point p = d.Next();
    set.DragAttach(device, held, p.x, p.y, d.t->play().grabOffsetX, d.t->play().grabOffsetY);
  }
}
BENCHMARK(BM_DragAttach)->Unit(benchmark::kMillisecond);

}  // namespace
