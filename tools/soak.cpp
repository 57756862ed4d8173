// The long monkey soak: `zentrova_soak [frames] [seed]`, run from the build folder (it reads
// data/). Prints its figures; exits 1 with the first broken invariant.
#include "soak.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  const long long frames = argc > 1 ? std::atoll(argv[1]) : 200000;
  const unsigned long seed = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1;
  if (frames <= 0) {
    std::fprintf(stderr, "usage: zentrova_soak [frames > 0] [seed]\n");
    return 2;
  }
  SoakFigures f;
  std::string failure;
  const bool ok = RunSoak(uint32_t(seed), frames, &f, &failure, true);
  std::printf("seed %lu: %s\n", seed, SoakFiguresLine(f).c_str());
  if (!ok) std::fprintf(stderr, "zentrova_soak: %s\n", failure.c_str());
  return ok ? 0 : 1;
}
