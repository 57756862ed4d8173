// The pick walk against the walk as it was first written: the same spans, in the same order,
// with the same depths to the bit, over random triangles of every awkward kind.
#include "blocks/pick_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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

// A triangle as a view with the camera inside a huge block gives it: view-space corners in a
// box around the eye, some behind it, divided by their distance with the projection's depth.
void CornersAroundTheEye(platform::PortableRand& random, int width, int height, ScreenPoint p[3]) {
  const float box = std::pow(10.0f, float(random.Next() % 5));
  for (int k = 0; k < 3; ++k) {
    const float x = Fine(random, -box, box), y = Fine(random, -box, box);
    const float z = Fine(random, -box, box);
    const float w = 0.5f * float(width), h = 0.5f * float(height);
    const float near = 0.1f, far = 1000.0f, q = far / (far - near);
    p[k] = {w + w * x / z, h - h * y / z, (q * z - q * near) / z};
  }
}

// A triangle whose corners lie up to 2^22 pixels off the screen, depths across and beyond the
// pick range.
void FarCorners(platform::PortableRand& random, int width, int height, ScreenPoint p[3]) {
  const float reach = std::pow(4.0f, float(3 + random.Next() % 9));
  const float depth = std::pow(10.0f, float(int(random.Next() % 7) - 3));
  for (int k = 0; k < 3; ++k)
    p[k] = {Fine(random, -reach, float(width) + reach), Fine(random, -reach, float(height) + reach),
            Fine(random, -depth, depth) + (random.Next() % 2 ? 1.0f : 0.0f)};
}

// The bound the pick fill tests against what it holds: no depth the walk writes is below it,
// and when it says nothing can be written, nothing is. The rows given are those the fill gives,
// a pixel's slack round the corners'.
TEST(PickWalk, LeastDepthInRowsBoundsEveryWrittenDepth) {
  platform::PortableRand random;
  random.Seed(20261209);
  const int sizes[][2] = {{640, 480}, {64, 48}, {7, 5}};
  int useful = 0, empty = 0, written = 0;
  for (int round = 0; round < 60000; ++round) {
    const int* size = sizes[round % 3];
    const int width = size[0], height = size[1];
    ScreenPoint p[3];
    switch (round / 3 % 3) {
      case 0:
        RandomTriangle(random, width, height, p);
        break;
      case 1:
        CornersAroundTheEye(random, width, height, p);
        break;
      default:
        FarCorners(random, width, height, p);
        break;
    }
    const float low = std::min({p[0].y, p[1].y, p[2].y}), high = std::max({p[0].y, p[1].y, p[2].y});
    if (std::isnan(low + high)) continue;  // the fill falls back to the corners' bound
    const int row_from =
        low >= 1.0f ? std::min(int(std::min(low, float(height))) - 1, height - 1) : 0;
    const int row_to = high < float(height - 2)
                           ? std::clamp(int(std::max(high, -1.0f)) + 1, 0, height - 1)
                           : height - 1;
    const float bound = LeastPickDepthInRows(p[0], p[1], p[2], width, row_from, row_to);
    float least = INFINITY;
    WalkPickTrianglePixels(p[0], p[1], p[2], width, height,
                           [&](int, int, float z) { least = std::min(least, z); });
    ASSERT_LE(bound, least) << "round " << round << ": (" << p[0].x << ", " << p[0].y << ", "
                            << p[0].z << ") (" << p[1].x << ", " << p[1].y << ", " << p[1].z
                            << ") (" << p[2].x << ", " << p[2].y << ", " << p[2].z << ")";
    written += least < INFINITY;
    empty += bound == INFINITY;
    useful +=
        bound < INFINITY && bound > std::max(LeastPickDepth(p[0], p[1], p[2]), kNearestPickDepth);
  }
  // The bound gained on the corners' one, and found triangles that write nothing, often.
  EXPECT_GT(written, 15000);
  EXPECT_GT(useful, 5000);
  EXPECT_GT(empty, 5000);
}

}  // namespace
