// A monkey soak: random mouse sessions through the real GameApp on the headless platform, over
// every tool, with device losses at random frames, checking after every frame that nothing
// refers to what is gone and nothing has become a non-number. SOAK_TRACE=1 prints every play
// frame (cursor, buttons, tool, held and glue state) to standard error.
#pragma once

#include <cstdint>
#include <string>

struct SoakFigures {
  int64_t frames = 0;
  int64_t doors = 0;         // door chosen and the title reached again
  int64_t grabs = 0;         // bodies held by the hand
  int64_t handles = 0;       // grab handles taken
  int64_t copies = 0;        // blocks copied by a second handle
  int64_t removals = 0;      // blocks removed by a refresh
  int64_t deviceLosses = 0;  // losses injected
};

// Runs `frames` frames from `seed`; false with the first broken invariant in *failure. With
// `progress`, a line of figures goes to standard output every 10,000 frames.
bool RunSoak(uint32_t seed, int64_t frames, SoakFigures* figures, std::string* failure,
             bool progress = false);
