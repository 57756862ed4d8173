#include "assets/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "platform/image/png_write.h"

namespace assets {

namespace {

// 5x7 glyphs, one string per row, '#' set.
const std::map<char, std::vector<std::string>>& Font() {
  static const std::map<char, std::vector<std::string>> kFont = {
      {'A', {" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"}},
      {'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
      {'P', {"#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "}},
      {'D', {"#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "}},
      {'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
      {'N', {"#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"}},
      {'O', {" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
      {'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
      {'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
      {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "}},
      {'V', {"#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "}},
      {'X', {"#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"}},
      {'Z', {"#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"}},
      {' ', {"     ", "     ", "     ", "     ", "     ", "     ", "     "}},
  };
  return kFont;
}

float DistanceToSegment(PointF p, PointF a, PointF b) {
  float dx = b.x - a.x, dy = b.y - a.y;
  float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0f, 1.0f) : 0;
  float ex = a.x + t * dx - p.x, ey = a.y + t * dy - p.y;
  return std::sqrt(ex * ex + ey * ey);
}

}  // namespace

Canvas::Canvas(int width, int height, uint32_t fill)
    : width_(width), height_(height), pixels_(size_t(width) * height, fill) {}

void Canvas::Set(int x, int y, uint32_t argb) {
  if (x >= 0 && y >= 0 && x < width_ && y < height_) pixels_[size_t(y) * width_ + x] = argb;
}

void Canvas::FillRect(int x0, int y0, int x1, int y1, uint32_t argb) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x) Set(x, y, argb);
}

void Canvas::FillPolygon(const std::vector<PointF>& points, uint32_t argb) {
  for (int y = 0; y < height_; ++y) {
    float sy = float(y) + 0.5f;
    std::vector<float> xs;
    for (size_t i = 0; i < points.size(); ++i) {
      PointF a = points[i], b = points[(i + 1) % points.size()];
      if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy))
        xs.push_back(a.x + (sy - a.y) / (b.y - a.y) * (b.x - a.x));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2)
      for (int x = int(std::ceil(xs[i] - 0.5f)); float(x) + 0.5f <= xs[i + 1]; ++x) Set(x, y, argb);
  }
}

void Canvas::Line(PointF a, PointF b, float width, uint32_t argb) {
  float r = width / 2;
  int x0 = int(std::floor(std::min(a.x, b.x) - r)), x1 = int(std::ceil(std::max(a.x, b.x) + r));
  int y0 = int(std::floor(std::min(a.y, b.y) - r)), y1 = int(std::ceil(std::max(a.y, b.y) + r));
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (DistanceToSegment({float(x) + 0.5f, float(y) + 0.5f}, a, b) <= r) Set(x, y, argb);
}

void Canvas::PolygonOutline(const std::vector<PointF>& points, float width, uint32_t argb) {
  for (size_t i = 0; i < points.size(); ++i)
    Line(points[i], points[(i + 1) % points.size()], width, argb);
}

void Canvas::FillCircle(PointF c, float radius, uint32_t argb) {
  for (int y = int(c.y - radius - 1); y <= int(c.y + radius + 1); ++y)
    for (int x = int(c.x - radius - 1); x <= int(c.x + radius + 1); ++x) {
      float dx = float(x) + 0.5f - c.x, dy = float(y) + 0.5f - c.y;
      if (dx * dx + dy * dy <= radius * radius) Set(x, y, argb);
    }
}

void Canvas::Ring(PointF c, float radius, float width, uint32_t argb) {
  for (int y = int(c.y - radius - width); y <= int(c.y + radius + width); ++y)
    for (int x = int(c.x - radius - width); x <= int(c.x + radius + width); ++x) {
      float dx = float(x) + 0.5f - c.x, dy = float(y) + 0.5f - c.y;
      if (std::fabs(std::sqrt(dx * dx + dy * dy) - radius) <= width / 2) Set(x, y, argb);
    }
}

void Canvas::FillRoundRect(float x0, float y0, float x1, float y1, float radius, uint32_t argb) {
  for (int y = int(y0); y <= int(y1); ++y)
    for (int x = int(x0); x <= int(x1); ++x) {
      float px = float(x) + 0.5f, py = float(y) + 0.5f;
      float cx = std::clamp(px, x0 + radius, x1 + 1 - radius);
      float cy = std::clamp(py, y0 + radius, y1 + 1 - radius);
      if ((px - cx) * (px - cx) + (py - cy) * (py - cy) <= radius * radius) Set(x, y, argb);
    }
}

void Canvas::Text(const std::string& text, int x, int y, int scale, uint32_t argb) {
  for (char ch : text) {
    auto glyph = Font().find(ch);
    if (glyph != Font().end()) {
      for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col)
          if (glyph->second[row][col] == '#')
            FillRect(x + col * scale, y + row * scale, x + (col + 1) * scale - 1,
                     y + (row + 1) * scale - 1, argb);
    }
    x += 6 * scale;
  }
}

int Canvas::TextWidth(const std::string& text, int scale) {
  return text.empty() ? 0 : int(text.size()) * 6 * scale - scale;
}

void Canvas::Fade(float amount) {
  for (uint32_t& p : pixels_) {
    uint32_t out = p & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      float c = float((p >> shift) & 0xFF);
      out |= uint32_t(std::lround(c + (255.0f - c) * amount)) << shift;
    }
    p = out;
  }
}

bool Canvas::WriteBmp(const std::string& path) const {
  const uint32_t stride = (uint32_t(width_) * 3 + 3) & ~3u;
  const uint32_t image_size = stride * uint32_t(height_);
  std::vector<uint8_t> out(54 + image_size, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, uint32_t(out.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(width_));
  put32(22, uint32_t(height_));  // bottom-up
  out[26] = 1;
  out[28] = 24;
  put32(34, image_size);
  for (int y = 0; y < height_; ++y) {
    uint8_t* row = &out[54 + size_t(height_ - 1 - y) * stride];
    for (int x = 0; x < width_; ++x) {
      uint32_t p = Get(x, y);
      row[3 * x] = uint8_t(p);
      row[3 * x + 1] = uint8_t(p >> 8);
      row[3 * x + 2] = uint8_t(p >> 16);
    }
  }
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
  return std::fclose(f) == 0 && ok;
}

bool Canvas::WritePng(const std::string& path) const {
  return platform::image::WritePng(path, pixels_.data(), width_, height_, width_, true, nullptr);
}

void DrawCube(Canvas* canvas, float x, float y, float s, float outline) {
  const float d = s * 0.45f;  // oblique depth
  std::vector<PointF> front = {{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}};
  std::vector<PointF> top = {{x, y}, {x + d, y - d}, {x + s + d, y - d}, {x + s, y}};
  std::vector<PointF> side = {
      {x + s, y}, {x + s + d, y - d}, {x + s + d, y + s - d}, {x + s, y + s}};
  for (const auto* face : {&top, &side, &front}) {
    canvas->FillPolygon(*face, kWhite);
    canvas->PolygonOutline(*face, outline, kBlack);
  }
}

}  // namespace assets
