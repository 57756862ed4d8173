// Undo and redo of a hand move and of a long pen stroke at 100, 1,000 and 3,000 blocks, beside a
// copy of the bytes one snapshot of that construction holds and beside one frame; and what one
// step keeps. Short hand strokes played through the mouse at 1,000 and 3,000 blocks, with and
// without a small turn of the view before each: what a step holds as the history counts it and as
// the heap grows, beside the same figure without turns, the count and the share of the bound.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_timing.h"
#include "blocks/block_set.h"
#include "collapse_scenes.h"
#include "memory/heap_figures.h"
#include "play/construction_keeper.h"
#include "play/snapshot.h"
#include "test_app.h"

namespace {

constexpr double kFrameMs = 16.0;

std::unique_ptr<TestApp> Scene(int blocks) {
  auto t = std::make_unique<TestApp>();
  t->EnterPlay();
  scenes::AddRandomBlocks(*t, t->world().blockSet, blocks - t->world().blockSet.Count(), 3);
  t->NextFrame();
  t->world().history.Reset(TakeSnapshot(t->world(), t->play()));
  return t;
}

// A hand move: a block put elsewhere. A pen stroke: every texel of twenty faces and a stretch of
// the canvas. Each recorded as one step, as a release would.
void HandMove(TestApp& t) {
  Block* b = t.world().blockSet.At(t.world().blockSet.Count() - 1);
  Vec3 origin = b->corners[0];
  origin.x += 3.0f;
  b->PlaceAt(origin);
}
void PenStroke(TestApp& t) {
  BlockSet& set = t.world().blockSet;
  for (int i = 0; i < 20; ++i) {
    ImageTexture& face = *set.At(i)->PaintableFaceTexture(1);
    std::fill(face.Backing()->Buffer().begin(), face.Backing()->Buffer().end(), uint8_t(40));
    face.Upload(0, 0, 8, 8);
  }
  std::memset(t.world().canvas.DibBits() + 640 * 3 * 100, 0, 640 * 3 * 30);
}

void BM_UndoRedo(benchmark::State& state) {
  auto t = Scene(int(state.range(0)));
  (state.range(1) ? PenStroke : HandMove)(*t);
  t->world().history.Record(TakeSnapshot(t->world(), t->play()));
  const size_t step_bytes = t->world().history.Bytes();
  std::vector<double> undo_ms, redo_ms;
  for (auto _ : state) {
    bench::Clock::time_point start = bench::Clock::now();
    Undo(t->app());
    undo_ms.push_back(bench::MsSince(start));
    start = bench::Clock::now();
    Redo(t->app());
    redo_ms.push_back(bench::MsSince(start));
  }
  // The bounds: one copy of the bytes a snapshot of this construction holds, and one frame.
  const Snapshot s = TakeSnapshot(t->world(), t->play());
  const size_t bytes =
      s.blocks.size() * sizeof(Snapshot::Block) + s.canvasPixels.size() + s.tableTexels.size();
  const double copy_ms = bench::CopyMs(bytes, 20);
  const double undo = bench::Median(undo_ms), redo = bench::Median(redo_ms);
  state.counters["undo_ms"] = undo;
  state.counters["redo_ms"] = redo;
  state.counters["snapshot_copy_ms"] = copy_ms;
  state.counters["undo_per_copy"] = undo / copy_ms;
  state.counters["redo_per_copy"] = redo / copy_ms;
  state.counters["slower_per_frame"] = std::max(undo, redo) / kFrameMs;
  state.counters["step_kb"] = double(step_bytes) / 1024.0;
}
BENCHMARK(BM_UndoRedo)
    ->ArgNames({"blocks", "pen"})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({3000, 0})
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Args({3000, 1})
    ->Unit(benchmark::kMillisecond);

// The play space with blocks at rest in the air around the towers, the hand chosen, and a screen
// point where a block shows.
struct StrokeScene {
  std::unique_ptr<TestApp> t = std::make_unique<TestApp>();
  platform::Point at{0, 0};
  int turn = 2;  // pixels, the other way each time so that the view stays about where it is

  explicit StrokeScene(int blocks) {
    t->EnterPlay();
    scenes::AddBlocksInTheAir(*t, t->world().blockSet, blocks, 5);
    t->NextFrame();
    t->ChooseTool(0);
    BlockSet& set = t->world().blockSet;
    set.FinishPickRefresh();
    for (int y = 240; y < 400 && at.x == 0; y += 5)
      for (int x = 200; x < 440 && at.x == 0; x += 5)
        if (const Block* b = set.CellBody(set.FrontCell(x, y)); b && b->kind == Block::kBlock)
          at = {x, y};
  }
  // A right-button drag of a few pixels, as a person turns the view a little.
  void Turn() {
    platform::HeadlessPlatform& p = t->platform();
    t->Move(at.x, at.y);
    t->NextFrame();
    p.Press(platform::MouseButton::kRight);
    t->NextFrame();
    t->Move(at.x + turn, at.y);
    t->NextFrame();
    p.Release(platform::MouseButton::kRight);
    t->NextFrame();
    turn = -turn;
  }
  // A press on the block shown there, three short moves, a release: one step. The block follows
  // the cursor, which ends where the next stroke presses; the next goes back.
  void Stroke() {
    t->Move(at.x, at.y);
    t->NextFrame();
    t->Press();
    t->NextFrame();
    for (int i = 1; i <= 3; ++i) {
      t->Move(at.x + 2 * i * back, at.y - i * back);
      t->NextFrame();
    }
    t->Release();
    t->NextFrame();
    at = {at.x + 6 * back, at.y - 3 * back};
    back = -back;
  }
  int back = 1;
};

struct PerStep {
  double counted = 0, heap = 0;
};

// What `strokes` strokes add to the history, per step: as it counts them and as the heap grows.
PerStep Strokes(StrokeScene& scene, int strokes, bool turns) {
  const History& history = scene.t->world().history;
  const size_t steps = history.UndoSteps(), counted = history.Bytes(), heap = heap::InUse();
  for (int i = 0; i < strokes; ++i) {
    if (turns) scene.Turn();
    scene.Stroke();
  }
  const double made = double(history.UndoSteps()) - double(steps);
  if (made == 0) return {};
  return {double(history.Bytes() - counted) / made, (double(heap::InUse()) - double(heap)) / made};
}

void BM_StepBytes(benchmark::State& state) {
  const int strokes = 20;
  PerStep plain, turned;
  for (auto _ : state) {
    StrokeScene scene(int(state.range(0)));
    if (scene.at.x == 0) state.SkipWithError("no block shows where the strokes press");
    Strokes(scene, 3, true);  // the first refreshes and steps of the scene, not counted
    plain = Strokes(scene, strokes, false);
    turned = Strokes(scene, strokes, true);
  }
  state.counters["step_kb"] = plain.counted / 1024.0;
  state.counters["turned_step_kb"] = turned.counted / 1024.0;
  // A turn should add nothing: the same steps' bytes as without it.
  state.counters["turned_per_plain"] = turned.counted / plain.counted;
  // What the heap grows by, beside what the history counts.
  state.counters["heap_per_count"] = plain.heap / plain.counted;
  state.counters["turned_heap_per_count"] = turned.heap / turned.counted;
  // Short strokes that fit in the bound, beside the thousand they must.
  const double fit = double(History::kMaxBytes) / std::max(plain.counted, turned.counted);
  state.counters["strokes_in_bound"] = fit;
  state.counters["strokes_per_1000"] = fit / 1000.0;
}
BENCHMARK(BM_StepBytes)
    ->ArgNames({"blocks"})
    ->Arg(1000)
    ->Arg(3000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
