// The grab handles: the marker overlay and the refresh at 100 and 1,000 blocks, and a frame in
// which the hand drags a handle; the overlay beside a clear of the whole handle map, which is
// what it avoids.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "blocks/block_set.h"
#include "scenes/scene_manager.h"
#include "test_app.h"
#include "world/palette.h"

namespace {

// The play scene with `blocks` blocks (extra towers of 25 beside the four) and three handles.
TestApp* SceneWithHandles(int blocks) {
  auto* t = new TestApp();
  t->EnterPlay();
  World& world = t->world();
  auto* device = t->app().Graphics().Device();
  platform::gdi::DeviceContext dc;
  for (int i = world.blockSet.Count(); i < blocks; ++i) {
    const int tower = i / 25, level = i % 25;
    const float x = float(tower % 6) * 4.0f - 10.0f, z = float(tower / 6) * 4.0f - 14.0f;
    world.blockSet.AddBlock(dc, device, t->app().Sounds(), {x, float(2 * level + 1), z}, {2, 2, 2});
  }
  t->NextFrame();
  // Handles on the bottom blocks of three towers, taken as the layer's press would.
  for (int i : {0, 25, 50}) {
    auto* h = new GrabHandle();
    h->Init(&t->app(), &world.blockSet, world.blockSet.At(i), 0, 0);
    world.grabLayer.Add(h);
  }
  return t;
}

void BM_GrabOverlay(benchmark::State& state) {
  TestApp* t = SceneWithHandles(int(state.range(0)));
  auto& graphics = t->app().Graphics();
  for (auto _ : state) t->world().grabLayer.Overlay(graphics.Device(), graphics.BackBuffer());
  delete t;
}
BENCHMARK(BM_GrabOverlay)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

void BM_ClearOfTheWholeHandleMap(benchmark::State& state) {
  std::vector<void*> map(640 * 480);
  for (auto _ : state) {
    std::memset(map.data(), 0, map.size() * sizeof(void*));
    benchmark::DoNotOptimize(map.data());
  }
}
BENCHMARK(BM_ClearOfTheWholeHandleMap)->Unit(benchmark::kMillisecond);

// The refresh with three handles; the removal it may do is kept out by the spread towers.
void BM_GrabRefresh(benchmark::State& state) {
  TestApp* t = SceneWithHandles(int(state.range(0)));
  GrabLayer& layer = t->world().grabLayer;
  auto* device = t->app().Graphics().Device();
  for (auto _ : state) {
    state.PauseTiming();
    for (int i : {0, 25, 50}) {
      auto* h = new GrabHandle();
      h->block = t->world().blockSet.At(i);
      layer.Add(h);
    }
    state.ResumeTiming();
    layer.Refresh(device);
  }
  delete t;
}
BENCHMARK(BM_GrabRefresh)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// A frame in which the hand holds a handle taken at a bottom edge and moves up and down.
void BM_HandleDragFrame(benchmark::State& state) {
  static TestApp* t = [] {
    auto* app = new TestApp();
    app->EnterPlay();
    BlockSet& set = app->world().blockSet;
    const Block* b = set.At(75);
    const Mat4 ms = set.ScreenMatrix(app->app().Graphics().Device());
    const ScreenPoint n = ProjectToScreen(b->corners[0], ms);
    const ScreenPoint o = ProjectToScreen(b->corners[1], ms);
    app->Move(int((n.x + o.x) / 2), int((n.y + o.y) / 2) - 2);
    app->NextFrame();
    app->Press();
    app->NextFrame();
    if (!app->play().heldHandle) std::abort();
    return app;
  }();
  SceneManager* scenes = t->app().Scenes();
  static const platform::Point start = t->platform().CursorPos();  // where the handle was taken
  const Block* held = t->play().heldHandle->block;
  int step = 0, moved = 0;
  for (auto _ : state) {
    const Vec3 before = held->corners[0];
    t->Move(start.x, start.y + (step++ % 60));
    scenes->Update();
    scenes->Render();
    moved += !(held->corners[0] == before);
  }
  state.counters["moved_share"] = double(moved) / double(state.iterations());
}
BENCHMARK(BM_HandleDragFrame)->Unit(benchmark::kMillisecond);

// Choosing a tool while `handles` blocks hold handles (on the first blocks of the list), among
// about `blocks` blocks: the refresh that drops them is the whole cost. The handles are taken
// again, untimed, before every choice; a first choice, untimed, removes the blocks that stand on
// a handled one's place on screen, so that every timed one finds the same scene.
void BM_ToolChoiceWithHandles(benchmark::State& state) {
  const int blocks = int(state.range(0)), handles = int(state.range(1));
  TestApp* t = SceneWithHandles(blocks);
  World& world = t->world();
  GrabLayer& layer = world.grabLayer;
  PlayScene& play = t->play();
  for (auto& tool : world.tools) tool->hot = false;
  world.tools[0]->hot = true;  // the hand
  const auto take_handles = [&] {
    layer.RemoveAll();
    for (int i = 0; i < handles; ++i) {
      auto* h = new GrabHandle();
      h->block = world.blockSet.At(i);
      layer.Add(h);
    }
    t->platform().ClearSounds();
  };
  take_handles();
  ChooseTool(&world, &play, 0);
  const int kept = world.blockSet.Count();
  for (auto _ : state) {
    state.PauseTiming();
    take_handles();
    state.ResumeTiming();
    ChooseTool(&world, &play, 0);
  }
  if (world.blockSet.Count() != kept) state.SkipWithError("blocks were removed");
  state.counters["blocks"] = kept;
  state.counters["handles"] = handles;
  delete t;
}
// Only the pointer moves while 1,000 blocks hold handles: the kept scene is shown again, the
// markers drawn over it.
void BM_PointerFrameWithHandles(benchmark::State& state) {
  const int handles = int(state.range(0));
  TestApp* t = SceneWithHandles(1001);
  World& world = t->world();
  world.grabLayer.RemoveAll();
  for (int i = 0; i < handles; ++i) {
    auto* h = new GrabHandle();
    h->Init(&t->app(), &world.blockSet, world.blockSet.At(i), 0, 0);
    world.grabLayer.Add(h);
  }
  t->Move(320, 300);
  t->Frames(3);
  int step = 0;
  for (auto _ : state) {
    t->Move(320 + (step++ & 1), 300);
    t->NextFrame();
  }
  state.counters["over_kept_scene"] = t->play().framesOverKeptScene;
  delete t;
}
BENCHMARK(BM_PointerFrameWithHandles)->Arg(3)->Arg(1000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_ToolChoiceWithHandles)
    ->Args({100, 3})
    ->Args({1001, 1000})
    ->Args({3000, 1500})
    ->Args({10000, 1000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
