// A headless app whose block set starts empty, with the table at the origin: blocks are placed
// by their centres in physics space (z up), and the collision sounds they play are counted.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "test_app.h"

class BodyFixture : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.created()) << t.app().FailureReason();
    set().RemoveAll();
    t.world().table.PlaceAt({0, 0, 0});
    t.platform().ClearSounds();
  }
  BlockSet& set() { return t.world().blockSet; }
  const Block& table() { return t.world().table; }
  // A 2x2x2 block centred at (x, y, z), physics space.
  Block* BlockAt(float x, float y, float z) { return BlockAt(set(), x, y, z); }
  Block* BlockAt(BlockSet& into, float x, float y, float z) {
    platform::gdi::DeviceContext dc;
    return into.AddBlock(dc, t.app().Graphics().Device(), t.app().Sounds(), {x, z, y}, {2, 2, 2});
  }
  // Plays of data/collision<band + 1>.wav, or of every collision sound for -1.
  int Collisions(int band = -1) {
    int n = 0;
    for (int b = 0; b < 5; ++b)
      if (band < 0 || band == b)
        n += t.platform().CountSound("data/collision" + std::to_string(b + 1) + ".wav");
    return n;
  }
  static bool SameBits(const Vec3* a, const Vec3* b, int n) {
    return std::memcmp(a, b, sizeof(Vec3) * size_t(n)) == 0;
  }

  TestApp t;
};
