// One whole play frame of the starting scene (update and render), its parts, and one title frame.
#include <benchmark/benchmark.h>

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
