// The window's pixels: the picture's rectangle is written in place by the platform, then shown.
// Two ways to show it, with the same pixels: the window's own surface (shared memory with the
// display server, no GPU), or a GPU renderer's texture.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/picture_placement.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Surface;

namespace platform {

class ScreenOutput {
 public:
  virtual ~ScreenOutput() = default;
  // The size of what is shown, in output pixels; false when unknown.
  virtual bool OutputSize(int* width, int* height) = 0;
  // Readies the picture's rectangle (after any change of the window's size, and at first), with
  // black bars around it; false with LastError() when it cannot.
  virtual bool Fit(PixelRect picture) = 0;
  // The picture rectangle's top-left pixel and the pitch of its rows, in pixels.
  uint32_t* Pixels() const { return pixels_; }
  int Pitch() const { return pitch_; }
  // Shows rows [first, end) of the picture; the whole window after Fit.
  virtual bool Show(int first_row, int end_row) = 0;
  virtual const char* Name() const = 0;

 protected:
  PixelRect picture_;
  uint32_t* pixels_ = nullptr;
  int pitch_ = 0;
  bool whole_ = true;  // the next Show shows the bars too
};

// Null with LastError() when the window has no surface to give.
std::unique_ptr<ScreenOutput> MakeSurfaceOutput(SDL_Window* window);
// Null with LastError() when no renderer can be made; with `refuse_software`, also when the one
// made would draw in software.
std::unique_ptr<ScreenOutput> MakeGpuOutput(SDL_Window* window, bool refuse_software);

}  // namespace platform
