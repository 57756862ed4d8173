#include "platform/picture_placement.h"

#include <algorithm>
#include <cstdint>

namespace platform {

PixelRect FitPicture(int picture_w, int picture_h, int output_w, int output_h) {
  PixelRect r;
  if (picture_w <= 0 || picture_h <= 0 || output_w <= 0 || output_h <= 0) return {0, 0, 1, 1};
  // 64-bit products: a 16k-wide output times the picture's height still fits easily.
  if (int64_t(output_w) * picture_h <= int64_t(output_h) * picture_w) {
    r.w = output_w;
    r.h = int((int64_t(output_w) * picture_h * 2 + picture_w) / (int64_t(picture_w) * 2));
  } else {
    r.h = output_h;
    r.w = int((int64_t(output_h) * picture_w * 2 + picture_h) / (int64_t(picture_h) * 2));
  }
  r.w = std::clamp(r.w, 1, output_w);
  r.h = std::clamp(r.h, 1, output_h);
  r.x = (output_w - r.w) / 2;
  r.y = (output_h - r.h) / 2;
  return r;
}

namespace {
// floor(a / b) for b > 0, also for negative a (a pointer left of or above the picture).
int64_t FloorDiv(int64_t a, int64_t b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}
}  // namespace

Point WindowToClient(Point window, PixelRect picture, int client_w, int client_h) {
  const int64_t w = std::max(picture.w, 1), h = std::max(picture.h, 1);
  const Point p{int(FloorDiv(int64_t(window.x - picture.x) * client_w, w)),
                int(FloorDiv(int64_t(window.y - picture.y) * client_h, h))};
  return ClampToClient(p, client_w, client_h);
}

Point ClientToWindow(Point client, PixelRect picture, int client_w, int client_h) {
  // The middle of the window pixels that WindowToClient maps to this client pixel: first and
  // last are ceil(c * w / cw) and ceil((c + 1) * w / cw) - 1.
  auto middle = [](int64_t c, int64_t size, int64_t client_size) {
    client_size = std::max<int64_t>(client_size, 1);
    const int64_t first = (c * size + client_size - 1) / client_size;
    const int64_t last = ((c + 1) * size + client_size - 1) / client_size - 1;
    return int(last > first ? (first + last) / 2 : first);
  };
  return {picture.x + middle(client.x, picture.w, client_w),
          picture.y + middle(client.y, picture.h, client_h)};
}

bool OverPicture(Point window, PixelRect picture) {
  return window.x >= picture.x && window.y >= picture.y && window.x < picture.x + picture.w &&
         window.y < picture.y + picture.h;
}

PointerShown ShownPointer(bool full_screen, bool over_picture) {
  if (full_screen || over_picture) return {true, false};
  return {false, true};
}

}  // namespace platform
