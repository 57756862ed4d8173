#include "platform/sdl/screen_output.h"

#include <SDL.h>

#include <algorithm>
#include <string>

#include "platform/sdl/presenter_choice.h"

namespace platform {

namespace {

// The window's own surface. Where its pixels are laid out as ours (0x00RRGGBB in 32 bits, the
// usual case) the picture is written straight into it; otherwise into a buffer converted on show.
class SurfaceOutput : public ScreenOutput {
 public:
  explicit SurfaceOutput(SDL_Window* window) : window_(window) {}

  bool OutputSize(int* width, int* height) override {
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (!surface) return false;
    *width = surface->w;
    *height = surface->h;
    return true;
  }

  bool Fit(PixelRect picture) override {
    surface_ = SDL_GetWindowSurface(window_);
    if (!surface_) {
      SetLastError(std::string("cannot reach the window's pixels: ") + SDL_GetError());
      return false;
    }
    picture_ = picture;
    SDL_FillRect(surface_, nullptr, SDL_MapRGB(surface_->format, 0, 0, 0));
    direct_ = surface_->format->BytesPerPixel == 4 && surface_->format->Rmask == 0xFF0000u &&
              surface_->format->Gmask == 0x00FF00u && surface_->format->Bmask == 0x0000FFu;
    if (direct_) {
      converted_.clear();
      converted_.shrink_to_fit();
      pitch_ = surface_->pitch / 4;
      pixels_ = static_cast<uint32_t*>(surface_->pixels) + size_t(picture.y) * pitch_ + picture.x;
    } else {
      converted_.assign(size_t(picture.w) * picture.h, 0);
      pitch_ = picture.w;
      pixels_ = converted_.data();
    }
    whole_ = true;
    return true;
  }

  bool Show(int first_row, int end_row) override {
    first_row = std::max(first_row, 0);
    end_row = std::min(end_row, picture_.h);
    if (!direct_ && end_row > first_row) {
      uint8_t* to = static_cast<uint8_t*>(surface_->pixels) +
                    size_t(picture_.y + first_row) * surface_->pitch +
                    size_t(picture_.x) * surface_->format->BytesPerPixel;
      SDL_ConvertPixels(picture_.w, end_row - first_row, SDL_PIXELFORMAT_RGB888,
                        converted_.data() + size_t(first_row) * pitch_, pitch_ * 4,
                        surface_->format->format, to, surface_->pitch);
    }
    if (whole_) {
      whole_ = false;
      return SDL_UpdateWindowSurface(window_) == 0;
    }
    if (end_row <= first_row) return true;
    const SDL_Rect band{picture_.x, picture_.y + first_row, picture_.w, end_row - first_row};
    return SDL_UpdateWindowSurfaceRects(window_, &band, 1) == 0;
  }

  const char* Name() const override { return "surface"; }

 private:
  SDL_Window* window_;
  SDL_Surface* surface_ = nullptr;
  bool direct_ = false;
  std::vector<uint32_t> converted_;
};

// A GPU renderer: the picture goes into a texture of its shown size, drawn on a cleared screen.
class GpuOutput : public ScreenOutput {
 public:
  explicit GpuOutput(SDL_Renderer* renderer) : renderer_(renderer) {}
  ~GpuOutput() override {
    if (texture_) SDL_DestroyTexture(texture_);
    SDL_DestroyRenderer(renderer_);
  }

  bool OutputSize(int* width, int* height) override {
    return SDL_GetRendererOutputSize(renderer_, width, height) == 0;
  }

  bool Fit(PixelRect picture) override {
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                                 picture.w, picture.h);
    if (!texture_) {
      SetLastError(std::string("cannot create the frame texture: ") + SDL_GetError());
      return false;
    }
    picture_ = picture;
    buffer_.assign(size_t(picture.w) * picture.h, 0);
    pixels_ = buffer_.data();
    pitch_ = picture.w;
    whole_ = true;
    return true;
  }

  bool Show(int first_row, int end_row) override {
    if (whole_) {
      first_row = 0;
      end_row = picture_.h;
      whole_ = false;
    }
    first_row = std::max(first_row, 0);
    end_row = std::min(end_row, picture_.h);
    if (end_row > first_row) {
      const SDL_Rect band{0, first_row, picture_.w, end_row - first_row};
      SDL_UpdateTexture(texture_, &band, buffer_.data() + size_t(first_row) * pitch_, pitch_ * 4);
    }
    SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
    SDL_RenderClear(renderer_);
    const SDL_Rect to{picture_.x, picture_.y, picture_.w, picture_.h};
    SDL_RenderCopy(renderer_, texture_, nullptr, &to);
    SDL_RenderPresent(renderer_);
    return true;
  }

  const char* Name() const override { return "gpu"; }

 private:
  SDL_Renderer* renderer_;
  SDL_Texture* texture_ = nullptr;
  std::vector<uint32_t> buffer_;
};

// The OpenGL implementation's own name for itself, where the renderer is an OpenGL one.
std::string GlRendererName() {
  using GetString = const unsigned char* (*)(unsigned int);
  constexpr unsigned int kGlRenderer = 0x1F01;
  auto get = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const unsigned char* name = get ? get(kGlRenderer) : nullptr;
  return name ? reinterpret_cast<const char*>(name) : "";
}

}  // namespace

std::unique_ptr<ScreenOutput> MakeSurfaceOutput(SDL_Window* window) {
  auto output = std::make_unique<SurfaceOutput>(window);
  int w = 0, h = 0;
  if (!output->OutputSize(&w, &h)) {
    SetLastError(std::string("cannot reach the window's pixels: ") + SDL_GetError());
    return nullptr;
  }
  return output;
}

std::unique_ptr<ScreenOutput> MakeGpuOutput(SDL_Window* window, bool refuse_software) {
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
  if (!renderer) {
    SetLastError(std::string("cannot create a renderer: ") + SDL_GetError());
    return nullptr;
  }
  SDL_RendererInfo info;
  const bool software = SDL_GetRendererInfo(renderer, &info) != 0 ||
                        (info.flags & SDL_RENDERER_SOFTWARE) != 0 ||
                        SoftwareGlRenderer(GlRendererName());
  if (software && refuse_software) {
    SDL_DestroyRenderer(renderer);
    SetLastError("the renderer draws in software");
    return nullptr;
  }
  return std::make_unique<GpuOutput>(renderer);
}

}  // namespace platform
