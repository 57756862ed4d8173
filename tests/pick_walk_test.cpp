// The pick walk against the walk as it was first written: the same spans, in the same order,
// with the same depths to the bit, over random triangles of every awkward kind.
#include "blocks/pick_walk.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "random_triangle.h"
#include "reference_pick_walk.h"

namespace {

struct Span {
  int y, first, last;
  uint32_t z_left, slope, left;  // the depth's terms, as bits
  bool operator==(const Span&) const = default;
};

uint32_t Bits(float f) {
  uint32_t b;
  std::memcpy(&b, &f, sizeof b);
  return b;
}

template <class Walk>
std::vector<Span> SpansOf(Walk walk, const ScreenPoint& a, const ScreenPoint& b,
                          const ScreenPoint& c, int width, int height) {
  std::vector<Span> spans;
  walk(a, b, c, width, height, [&](int y, int first, int last, const RowDepth& depth) {
    spans.push_back({y, first, last, Bits(depth.zLeft), Bits(depth.slope), Bits(depth.left)});
  });
  return spans;
}

TEST(PickWalk, RandomTrianglesGiveTheSpansOfTheFirstWalk) {
  platform::PortableRand random;
  random.Seed(20261207);
  const int sizes[][2] = {{640, 480}, {64, 48}, {7, 5}};
  size_t spans_seen = 0;
  int triangles_with_spans = 0;
  for (int round = 0; round < 60000; ++round) {
    const int* size = sizes[round % 3];
    ScreenPoint p[3];
    RandomTriangle(random, size[0], size[1], p);
    const auto walk = [](auto&&... args) { WalkPickTriangle(args...); };
    const auto first = [](auto&&... args) { reference_pick_walk::ReferenceWalk(args...); };
    const std::vector<Span> got = SpansOf(walk, p[0], p[1], p[2], size[0], size[1]);
    const std::vector<Span> want = SpansOf(first, p[0], p[1], p[2], size[0], size[1]);
    ASSERT_EQ(got.size(), want.size()) << "round " << round;
    for (size_t i = 0; i < got.size(); ++i)
      ASSERT_EQ(got[i], want[i]) << "round " << round << ", span " << i << " of row " << want[i].y;
    spans_seen += got.size();
    triangles_with_spans += !got.empty();
  }
  // The comparison saw real work, not only triangles that fall off the screen.
  EXPECT_GT(triangles_with_spans, 20000);
  EXPECT_GT(spans_seen, 500000u);
}

}  // namespace
