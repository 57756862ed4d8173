// Scenes for the physics tests and benchmarks: the starting towers pushed over, and heaps of
// blocks at random places.
#pragma once

#include "blocks/block_set.h"
#include "platform/portable_rand.h"
#include "test_app.h"
#include "uniform_draw.h"

namespace scenes {

// What a person might leave before choosing the door: each of the four towers of the starting
// scene leant over, every block shifted 0.5 along x (outwards) and 0.25 along y from the one
// below it, as the hand would place them. They topple, scatter and settle.
inline void LeanTowers(BlockSet& set) {
  for (int i = 0; i < set.Count(); ++i) {
    const int tower = i / 25, level = i % 25;
    Vec3 origin = set.At(i)->corners[0];
    origin.x += (tower < 2 ? -0.5f : 0.5f) * float(level);
    origin.y += (tower % 2 ? 0.25f : -0.25f) * float(level);
    set.At(i)->PlaceAt(origin);
  }
}

// `count` blocks at random over and beside the table (x and y in -36..36, so some miss it),
// 1 to 1 + count / 5 high, overlapping where they fall, each moving with its own velocity.
inline void AddRandomBlocks(TestApp& t, BlockSet& set, int count, uint32_t seed) {
  platform::PortableRand random;
  random.Seed(seed);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  platform::gdi::DeviceContext dc;
  for (int i = 0; i < count; ++i) {
    const float x = uniform(-36, 36), y = uniform(-36, 36), z = uniform(1, 1 + float(count) / 5);
    Block* b =
        set.AddBlock(dc, t.app().Graphics().Device(), t.app().Sounds(), {x, z, y}, {2, 2, 2});
    const Vec3 v{uniform(-0.2f, 0.2f), uniform(-0.2f, 0.2f), uniform(-0.3f, 0.1f)};
    for (Vec3& corner_velocity : b->velocities) corner_velocity = v;
  }
}

// Blocks added in the air until the set holds `total`: at random over the table (x and y in
// -20..20), 3 to 3 + total / 250 high, at rest, as grab-handle copies and saved constructions
// bring them. They overlap one another freely.
inline void AddBlocksInTheAir(TestApp& t, BlockSet& set, int total, uint32_t seed) {
  platform::PortableRand random;
  random.Seed(seed);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  platform::gdi::DeviceContext dc;
  const float top = 3.0f + float(total) / 250.0f;
  while (set.Count() < total) {
    const float x = uniform(-20, 20), y = uniform(-20, 20), z = uniform(3, top);
    set.AddBlock(dc, t.app().Graphics().Device(), t.app().Sounds(), {x, z, y}, {2, 2, 2});
  }
}

// Blocks added as the grab handles copy them until the set holds `total`: each starting block
// copied again and again (a copy is made where its original stands, as AddBlockOwnContext
// makes it) and moved in depth, in front of and behind the towers by turns, three units a copy
// with a little play sideways and in depth, as a person's drags leave them.
inline void CopyTowersInDepth(TestApp& t, BlockSet& set, int total, uint32_t seed) {
  platform::PortableRand random;
  random.Seed(seed);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  const int originals = set.Count();
  for (int k = 1; set.Count() < total; ++k) {
    const float depth = 3.0f * float((k + 1) / 2) * (k % 2 ? 1.0f : -1.0f);
    for (int i = 0; i < originals && set.Count() < total; ++i) {
      const Block* original = set.At(i);
      const Vec3 c = original->centre;
      Block* copy = set.AddBlockOwnContext(t.app().Graphics().Device(), t.app().Sounds(),
                                           {c.x, c.z, c.y}, original->size);
      Vec3 corner = original->corners[0];
      corner.x += uniform(-0.2f, 0.2f);
      corner.y += depth + uniform(0.0f, 0.3f);
      copy->PlaceAt(corner);
    }
  }
}

}  // namespace scenes
