// A small RGBA drawing surface for the asset generator: shapes, a pixel font, and writing the
// results as 24-bit BMP or PNG files.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace assets {

constexpr uint32_t kBlack = 0xFF000000;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kClear = 0x00000000;

inline uint32_t Rgb(int r, int g, int b) {
  return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

struct PointF {
  float x, y;
};

class Canvas {
 public:
  Canvas(int width, int height, uint32_t fill);
  int Width() const { return width_; }
  int Height() const { return height_; }
  uint32_t Get(int x, int y) const { return pixels_[size_t(y) * width_ + x]; }
  void Set(int x, int y, uint32_t argb);
  const std::vector<uint32_t>& Pixels() const { return pixels_; }

  void FillRect(int x0, int y0, int x1, int y1, uint32_t argb);  // inclusive
  // A filled polygon (even-odd, sampled at pixel centres).
  void FillPolygon(const std::vector<PointF>& points, uint32_t argb);
  // A line of the given width with round ends.
  void Line(PointF a, PointF b, float width, uint32_t argb);
  void PolygonOutline(const std::vector<PointF>& points, float width, uint32_t argb);
  void FillCircle(PointF centre, float radius, uint32_t argb);
  void Ring(PointF centre, float radius, float width, uint32_t argb);
  void FillRoundRect(float x0, float y0, float x1, float y1, float radius, uint32_t argb);
  // Text in the built-in 5x7 font, each font pixel a scale x scale square.
  void Text(const std::string& text, int x, int y, int scale, uint32_t argb);
  static int TextWidth(const std::string& text, int scale);
  // Mixes every pixel towards white by the amount (0..1).
  void Fade(float amount);

  bool WriteBmp(const std::string& path) const;
  bool WritePng(const std::string& path) const;

 private:
  int width_;
  int height_;
  std::vector<uint32_t> pixels_;
};

// An oblique cube like the toy's own: white faces with black outlines, front square of side s
// at (x, y), the depth going up and to the right.
void DrawCube(Canvas* canvas, float x, float y, float s, float outline);

}  // namespace assets
