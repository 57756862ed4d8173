// Depths stepped evenly along a span: whenever the step is granted, every depth must be the one
// that adding the slope pixel by pixel reaches, bit for bit.
#include "platform/render/vector_spans.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>

namespace r = platform::render;

namespace {

// The depths a span reaches one addition at a time, against z0 + k * step.
void ExpectSameDepths(float z0, float dzdx, int steps, float step, int* compared) {
  float z = z0;
  for (int k = 0; k <= steps; ++k, z += dzdx) {
    const float even = z0 + float(k) * step;
    ASSERT_EQ(std::bit_cast<uint32_t>(even), std::bit_cast<uint32_t>(z))
        << "z0 " << z0 << " dzdx " << dzdx << " pixel " << k << " of " << steps;
  }
  ++*compared;
}

TEST(EvenDepthSteps, GrantedStepsGiveTheDepthsOfOneAdditionAtATime) {
  std::mt19937 random(20261207);
  auto uniform = [&](float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(random);
  };
  int granted = 0, refused = 0, compared = 0;
  for (int round = 0; round < 200000; ++round) {
    // Depths of every size, often near a binade's ends; slopes from far below a unit to
    // across the binade, and slopes exactly half a unit and one and a half units off the grid.
    float z0 = round % 4 == 0 ? uniform(0.0f, 1.0f)
               : round % 4 == 1
                   ? std::ldexp(1.0f, -int(random() % 30)) * (1.0f + uniform(-0.01f, 0.01f))
               : round % 4 == 2 ? uniform(0.99f, 1.0f)
                                : std::ldexp(uniform(1.0f, 2.0f), int(random() % 60) - 30);
    if (round % 97 == 0) z0 = -z0;
    int exponent;
    std::frexp(z0, &exponent);
    const float unit = std::ldexp(1.0f, exponent - 24);
    float dzdx;
    switch (round % 5) {
      case 0:
        dzdx = uniform(-1e-4f, 1e-4f);
        break;
      case 1:
        dzdx = unit * (float(int(random() % 64) - 32) + 0.5f);
        break;  // ties
      case 2:
        dzdx = unit * uniform(-40.0f, 40.0f);
        break;
      case 3:
        dzdx = std::ldexp(uniform(-1.0f, 1.0f), -int(random() % 40));
        break;
      default:
        dzdx = unit * float(int(random() % 9) - 4);
        break;
    }
    const int steps = round % 3 == 0 ? int(random() % 9) : int(random() % 700);
    float step = 0.0f;
    if (r::EvenDepthSteps(z0, dzdx, steps, &step)) {
      ++granted;
      ExpectSameDepths(z0, dzdx, steps, step, &compared);
      if (HasFatalFailure()) return;
    } else {
      ++refused;
    }
  }
  EXPECT_EQ(compared, granted);
  // Neither answer may be given always: most spans are granted, and ties, crossings of a binade
  // and negative depths are not.
  EXPECT_GT(granted, 100000);
  EXPECT_GT(refused, 20000);
}

TEST(EvenDepthSteps, RefusesWhatOneAdditionAtATimeWouldRoundDifferently) {
  float step;
  const float unit = std::ldexp(1.0f, -24);  // between 0.5 and 1
  // Half a unit: each sum rounds to the even neighbour, so the depths do not step evenly.
  EXPECT_FALSE(r::EvenDepthSteps(0.75f, unit * 0.5f, 10, &step));
  EXPECT_FALSE(r::EvenDepthSteps(0.75f, unit * -2.5f, 10, &step));
  // Crossing 1 or 0.5 changes the unit.
  EXPECT_FALSE(r::EvenDepthSteps(1.0f - 4 * unit, unit, 10, &step));
  EXPECT_FALSE(r::EvenDepthSteps(0.5f + 4 * unit, -unit, 10, &step));
  // Zero, negative, not a number, infinite.
  EXPECT_FALSE(r::EvenDepthSteps(0.0f, 0.0f, 1, &step));
  EXPECT_FALSE(r::EvenDepthSteps(-0.75f, 0.0f, 1, &step));
  EXPECT_FALSE(r::EvenDepthSteps(0.75f, std::nanf(""), 1, &step));
  EXPECT_FALSE(r::EvenDepthSteps(0.75f, INFINITY, 1, &step));
  // Well inside: a step of a quarter unit rounds to nothing, one of 2.3 units to 2.
  ASSERT_TRUE(r::EvenDepthSteps(0.75f, unit * 0.25f, 100, &step));
  EXPECT_EQ(step, 0.0f);
  ASSERT_TRUE(r::EvenDepthSteps(0.75f, unit * 2.3f, 100, &step));
  EXPECT_EQ(step, 2 * unit);
}

}  // namespace
