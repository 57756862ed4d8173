// The physics step during a fall, each step timed once through the game's step and once through
// the direct all-pairs transcription from the same state, in the same run: the median of each
// over the whole fall and their ratio. Then a whole play frame (update and render) during the
// collapse of the pushed-over starting towers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "all_pairs_step.h"
#include "bench_timing.h"
#include "collapse_scenes.h"
#include "play/snapshot.h"
#include "scenes/scene_manager.h"
#include "test_app.h"

namespace {

using bench::Clock;

double Microseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

using bench::Median;

void CopySet(const BlockSet& from, BlockSet& to) {
  for (int i = 0; i < from.Count(); ++i) CopyBodyState(*from.At(i), *to.At(i));
}

// A second block set of the same blocks, for the all-pairs transcription.
std::unique_ptr<BlockSet> Shadow(TestApp& t, const BlockSet& of) {
  auto shadow = std::make_unique<BlockSet>();
  shadow->Initialise(&t.app(), 640, 480);
  platform::gdi::DeviceContext dc;
  for (int i = 0; i < of.Count(); ++i)
    shadow->AddBlock(dc, t.app().Graphics().Device(), t.app().Sounds(), {0, 1, 0}, {2, 2, 2});
  CopySet(of, *shadow);
  shadow->settleCheck = 1;
  return shadow;
}

// A scene and its state before the fall: every repetition starts the fall from there, not from
// the pile the previous one left at rest.
struct FallScene {
  TestApp* t;
  std::unique_ptr<BlockSet> start;
};

FallScene* KeepStart(TestApp* t) {
  return new FallScene{t, Shadow(*t, t->world().blockSet)};
}

// Steps the scene `steps` times (or until at rest); each step is timed through the game's step
// and, from a copy of the same state, through the all-pairs transcription.
void TimeTheFall(benchmark::State& state, FallScene& scene, int steps) {
  TestApp& t = *scene.t;
  BlockSet& set = t.world().blockSet;
  std::unique_ptr<BlockSet> shadow = Shadow(t, set);
  const BlockSet* start = scene.start.get();
  std::vector<double> fast, all;
  const long builds_before = set.contactGrid.Builds();
  const long relists_before = set.contactGrid.Relists();
  long steps_run = 0;
  for (auto _ : state) {
    CopySet(*start, set);
    set.settleCheck = 1;
    fast.clear();
    all.clear();
    for (int s = 0; s < steps; ++s) {
      CopySet(set, *shadow);
      auto t0 = Clock::now();
      all_pairs::Step(*shadow);
      auto t1 = Clock::now();
      set.StepBodies();
      auto t2 = Clock::now();
      all.push_back(Microseconds(t1 - t0));
      fast.push_back(Microseconds(t2 - t1));
      ++steps_run;
      t.platform().ClearSounds();
      if (set.AllAtRest()) break;
    }
  }
  const double f = Median(fast), a = Median(all);
  state.counters["steps"] = double(fast.size());
  // How often the contact candidate lists were made anew.
  state.counters["list_builds_per_step"] =
      double(set.contactGrid.Builds() - builds_before) / double(steps_run);
  state.counters["relists_per_step"] =
      double(set.contactGrid.Relists() - relists_before) / double(steps_run);
  state.counters["step_us"] = f;
  state.counters["all_pairs_us"] = a;
  state.counters["ratio"] = f / a;
}

TestApp* StartingScene(bool pushed_over) {
  auto* t = new TestApp();
  t->EnterPlay();
  if (pushed_over) scenes::LeanTowers(t->world().blockSet);
  return t;
}

TestApp* RandomScene(int count) {
  auto* t = new TestApp();
  t->world().blockSet.RemoveAll();
  scenes::AddRandomBlocks(*t, t->world().blockSet, count, 4242);
  return t;
}

void BM_StepStartingTowersSettle(benchmark::State& state) {
  static FallScene* scene = KeepStart(StartingScene(false));
  TimeTheFall(state, *scene, 60);
}
BENCHMARK(BM_StepStartingTowersSettle)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StepPushedOverTowersCollapse(benchmark::State& state) {
  static FallScene* scene = KeepStart(StartingScene(true));
  TimeTheFall(state, *scene, 400);
}
BENCHMARK(BM_StepPushedOverTowersCollapse)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Step300RandomBlocks(benchmark::State& state) {
  static FallScene* scene = KeepStart(RandomScene(300));
  TimeTheFall(state, *scene, 150);
}
BENCHMARK(BM_Step300RandomBlocks)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Step1000RandomBlocks(benchmark::State& state) {
  static FallScene* scene = KeepStart(RandomScene(1000));
  TimeTheFall(state, *scene, 60);
}
BENCHMARK(BM_Step1000RandomBlocks)->Unit(benchmark::kMillisecond)->Iterations(1);

// Whole play frames (update, with the step, and render) from the door to the closed door of the
// pushed-over towers; beside each, the all-pairs step from the same state. The medians over the
// fall, and the frame with the all-pairs step in place of the game's.
void BM_CollapseFrame(benchmark::State& state) {
  std::vector<double> frames, steps, all;
  for (auto _ : state) {
    state.PauseTiming();
    TestApp t;
    t.EnterPlay();
    BlockSet& set = t.world().blockSet;
    scenes::LeanTowers(set);
    Tool* door = t.world().tools[3].get();
    t.Move(int(door->x) + 24, int(door->y) + 24);
    t.NextFrame();
    t.Click(int(door->x) + 24, int(door->y) + 24);
    std::unique_ptr<BlockSet> shadow = Shadow(t, set);
    std::unique_ptr<BlockSet> probe = Shadow(t, set);
    SceneManager* scenes = t.app().Scenes();
    state.ResumeTiming();
    while (!t.play().doorPictureShown) {
      CopySet(set, *shadow);
      CopySet(set, *probe);
      auto t0 = Clock::now();
      all_pairs::Step(*shadow);
      auto t1 = Clock::now();
      probe->StepBodies();
      auto t2 = Clock::now();
      scenes->Update();
      scenes->Render();
      auto t3 = Clock::now();
      all.push_back(Microseconds(t1 - t0));
      steps.push_back(Microseconds(t2 - t1));
      frames.push_back(Microseconds(t3 - t2));
      t.platform().Advance(21);
    }
  }
  const double frame = Median(frames), step = Median(steps), a = Median(all);
  state.counters["frames"] = double(frames.size());
  state.counters["frame_us"] = frame;
  state.counters["step_us"] = step;
  state.counters["all_pairs_step_us"] = a;
  state.counters["frame_with_all_pairs_us"] = frame - step + a;
  state.counters["ratio"] = frame / (frame - step + a);
}
BENCHMARK(BM_CollapseFrame)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
