// A construction of many blocks to open with `zentrova FILE`, saved the way Ctrl+S saves: the
// starting towers and blocks added at random in the air, or with --copies the towers leant over
// and copied in depth as the grab handles copy them (the benchmarks' door scenes).
// `zentrova_crowd_file BLOCKS OUT.png [SEED] [--copies]`, run from the build folder (it reads
// data/).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "collapse_scenes.h"
#include "play/construction_keeper.h"
#include "play/snapshot_codec.h"
#include "test_app.h"

int main(int argc, char** argv) {
  const bool copies = argc > 1 && std::string(argv[argc - 1]) == "--copies";
  if (copies) --argc;
  constexpr long kTowers = 100;  // the starting towers are the fewest blocks it makes
  const long blocks = argc > 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  const unsigned long seed = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 29;
  if (argc < 3 || argc > 4 || blocks < kTowers || blocks > long(kMaxSnapshotBlocks)) {
    std::fprintf(stderr,
                 "usage: zentrova_crowd_file BLOCKS OUT.png [SEED] [--copies]  (BLOCKS %ld..%u)\n",
                 kTowers, kMaxSnapshotBlocks);
    return 2;
  }
  TestApp t;
  if (!t.created()) {
    std::fprintf(stderr, "zentrova_crowd_file: cannot start: %s (run it from the build folder)\n",
                 t.app().FailureReason().c_str());
    return 1;
  }
  t.EnterPlay();
  BlockSet& set = t.world().blockSet;
  if (copies) {
    scenes::LeanTowers(set);
    scenes::CopyTowersInDepth(t, set, int(blocks), uint32_t(seed));
  } else {
    scenes::AddBlocksInTheAir(t, set, int(blocks), uint32_t(seed));
  }
  t.Frames(2);
  std::string why;
  if (!SaveConstructionTo(t.app(), argv[2], &why)) {
    std::fprintf(stderr, "zentrova_crowd_file: cannot write %s: %s\n", argv[2], why.c_str());
    return 1;
  }
  std::printf("%s: %d blocks (seed %lu)\n", argv[2], t.world().blockSet.Count(), seed);
  return 0;
}
