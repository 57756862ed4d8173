// Random floats for the tests' scenes, drawn from the portable generator so that a scene is the
// same on every build.
#pragma once

#include "platform/portable_rand.h"

// Evenly between low and high, both included.
inline float UniformIn(platform::PortableRand& random, float low, float high) {
  return low + (high - low) * float(random.Next()) / 32767.0f;
}
