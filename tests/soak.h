// A monkey soak: random mouse sessions through the real GameApp on the headless platform, over
// every tool, with device losses of every kind at random frames, judging every frame with the
// checks of soak_checks.h. SOAK_TRACE=1 prints every play
// frame (cursor, buttons, tool, held and glue state) to standard error.
#pragma once

#include <cstdint>
#include <string>

#include "soak_checks.h"

struct SoakFigures {
  int64_t frames = 0;
  int64_t doors = 0;               // door chosen and the title reached again
  int64_t grabs = 0;               // bodies held by the hand
  int64_t handles = 0;             // grab handles taken
  int64_t copies = 0;              // blocks copied by a second handle
  int64_t removals = 0;            // blocks removed by a refresh
  int64_t deviceLosses = 0;        // losses injected, of every kind
  int64_t heldLosses = 0;          // losses held for some frames
  int64_t presentationLosses = 0;  // presentation lost for some frames
  int64_t failedResets = 0;        // losses whose resets failed a few times
  int64_t unpresentedFrames = 0;   // frames run while nothing could be shown
  SoakCheckFigures checks;
};

// The figures in one line.
std::string SoakFiguresLine(const SoakFigures& figures);

// Runs `frames` frames from `seed`; false with the first broken invariant in *failure. With
// `progress`, a line of figures goes to standard output every 10,000 frames.
bool RunSoak(uint32_t seed, int64_t frames, SoakFigures* figures, std::string* failure,
             bool progress = false);
