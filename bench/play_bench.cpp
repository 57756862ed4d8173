// One whole play frame of the starting scene (update and render), its parts, and one title frame.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "scenes/scene_manager.h"
#include "test_app.h"

namespace {

TestApp* EnterPlay() {
  auto* t = new TestApp();
  t->NextFrame();
  t->Click(150, 370);
  t->Frames(12);
  t->Move(300, 200);
  return t;
}

void BM_PlayFrame(benchmark::State& state) {
  static TestApp* t = EnterPlay();
  SceneManager* scenes = t->app().Scenes();
  for (auto _ : state) {
    scenes->Update();
    scenes->Render();
  }
}
BENCHMARK(BM_PlayFrame)->Unit(benchmark::kMillisecond);

void BM_PlayUpdate(benchmark::State& state) {
  static TestApp* t = EnterPlay();
  SceneManager* scenes = t->app().Scenes();
  for (auto _ : state) scenes->Update();
}
BENCHMARK(BM_PlayUpdate)->Unit(benchmark::kMillisecond);

void BM_PlayRender(benchmark::State& state) {
  static TestApp* t = EnterPlay();
  SceneManager* scenes = t->app().Scenes();
  for (auto _ : state) scenes->Render();
}
BENCHMARK(BM_PlayRender)->Unit(benchmark::kMillisecond);

void BM_TitleFrame(benchmark::State& state) {
  static TestApp* t = [] {
    auto* app = new TestApp();
    app->NextFrame();
    return app;
  }();
  SceneManager* scenes = t->app().Scenes();
  for (auto _ : state) {
    scenes->Update();
    scenes->Render();
  }
}
BENCHMARK(BM_TitleFrame)->Unit(benchmark::kMillisecond);

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
