// Undo and redo of a hand move and of a long pen stroke at 100 and 1,000 blocks, beside a copy of
// the bytes one snapshot of that construction holds; and what one step keeps.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_timing.h"
#include "collapse_scenes.h"
#include "play/construction_keeper.h"
#include "play/snapshot.h"
#include "test_app.h"

namespace {

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
  for (auto _ : state) {
    Undo(t->app());
    Redo(t->app());
  }
  // The bound: one copy of the bytes a snapshot of this construction holds.
  const Snapshot s = TakeSnapshot(t->world(), t->play());
  const size_t bytes =
      s.blocks.size() * sizeof(Snapshot::Block) + s.canvasPixels.size() + s.tableTexels.size();
  state.counters["snapshot_copy_ms"] = bench::CopyMs(bytes, 20);
  state.counters["step_kb"] = double(step_bytes) / 1024.0;
}
BENCHMARK(BM_UndoRedo)
    ->ArgNames({"blocks", "pen"})
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
