// Where the 4:3 picture sits in a window or screen of any size, and the pointer decisions that
// follow from it. Every pointer decision is taken in one space, window pixels (origin at the
// window's top-left, as the desktop reports pointer motion and takes warps): the picture's
// rectangle is worked out there, and client pixels are only ever derived from it.
#pragma once

#include "platform/platform.h"

namespace platform {

struct PixelRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool operator==(const PixelRect&) const = default;
};

// The largest rectangle of the picture's shape inside an output of output_w x output_h, centred:
// it spans the whole width or the whole height, and the bars on opposite sides differ by at most
// one pixel. At least 1 x 1.
PixelRect FitPicture(int picture_w, int picture_h, int output_w, int output_h);

// The client pixel under a window position, clamped to the client area (over the bars the nearest
// edge of the picture).
Point WindowToClient(Point window, PixelRect picture, int client_w, int client_h);
// The window position of a client pixel's centre: the inverse of WindowToClient wherever the
// picture is at least as large as the client area.
Point ClientToWindow(Point client, PixelRect picture, int client_w, int client_h);
bool OverPicture(Point window, PixelRect picture);

// Which pointer a person sees. Exactly one shows wherever the pointer can go: the game's cursor
// over the picture, the desktop's beside it in a window. Full screen the pointer is held on the
// picture, so the bars never show one.
struct PointerShown {
  bool game = true;
  bool desktop = false;
  bool operator==(const PointerShown&) const = default;
};
PointerShown ShownPointer(bool full_screen, bool over_picture);

}  // namespace platform
