#include "platform/render/guard_band.h"

#include <cmath>
#include <initializer_list>

namespace platform::render {

namespace {

// Clipping runs in double: the positions of a far-away body may be anywhere up to the float
// range, and their differences must not overflow.
struct Point {
  double p[5];     // x, y, z, u, v
  double rgba[4];  // colour channels, 0..255
};

Point ToPoint(const ScreenVertex& v) {
  Point q{{v.x, v.y, v.z, v.u, v.v},
          {double((v.color >> 16) & 0xFF), double((v.color >> 8) & 0xFF), double(v.color & 0xFF),
           double(v.color >> 24)}};
  return q;
}

ScreenVertex ToVertex(const Point& q) {
  auto channel = [](double c) {
    return uint32_t(std::lround(std::fmin(255.0, std::fmax(0.0, c))));
  };
  return {float(q.p[0]),
          float(q.p[1]),
          float(q.p[2]),
          float(q.p[3]),
          float(q.p[4]),
          (channel(q.rgba[3]) << 24) | (channel(q.rgba[0]) << 16) | (channel(q.rgba[1]) << 8) |
              channel(q.rgba[2])};
}

// Keeps the part of the polygon where sign * (coordinate - limit) <= 0.
int ClipAgainst(const Point* in, int n, int axis, double limit, double sign, Point* out) {
  int m = 0;
  for (int i = 0; i < n; ++i) {
    const Point& a = in[i];
    const Point& b = in[(i + 1) % n];
    const double da = sign * (a.p[axis] - limit), db = sign * (b.p[axis] - limit);
    if (da <= 0) out[m++] = a;
    if ((da < 0 && db > 0) || (da > 0 && db < 0)) {
      const double t = da / (da - db);
      Point& q = out[m++];
      for (int k = 0; k < 5; ++k) q.p[k] = a.p[k] + t * (b.p[k] - a.p[k]);
      for (int k = 0; k < 4; ++k) q.rgba[k] = a.rgba[k] + t * (b.rgba[k] - a.rgba[k]);
      q.p[axis] = limit;  // exactly on the band
    }
  }
  return m;
}

}  // namespace

int ClipToGuardBand(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, int width,
                    int height, ScreenVertex out[9]) {
  for (const ScreenVertex* v : {&a, &b, &c})
    for (float f : {v->x, v->y, v->z, v->u, v->v})
      if (!std::isfinite(f)) return 0;
  // Each of the six planes adds at most one vertex to the triangle's three.
  Point buffers[2][9] = {{ToPoint(a), ToPoint(b), ToPoint(c)}};
  int n = 3, from = 0;
  const double planes[6][3] = {{0, -kGuardBand, -1},    {0, double(width) + kGuardBand, 1},
                               {1, -kGuardBand, -1},    {1, double(height) + kGuardBand, 1},
                               {2, kDepthGuardLow, -1}, {2, kDepthGuardHigh, 1}};
  for (const auto& plane : planes) {
    n = ClipAgainst(buffers[from], n, int(plane[0]), plane[1], plane[2], buffers[1 - from]);
    from = 1 - from;
    if (n < 3) return 0;
  }
  for (int i = 0; i < n; ++i) out[i] = ToVertex(buffers[from][i]);
  return n;
}

}  // namespace platform::render
