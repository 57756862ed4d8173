#include "platform/sdl/sdl_platform.h"

#include <SDL.h>

#include <cmath>
#include <cstring>
#include <string>

#include "platform/render/render_device.h"
#include "platform/sdl/sdl_audio.h"

namespace platform {

SdlPlatform::~SdlPlatform() {
  CloseWindow();
  if (initialised_) SDL_Quit();
}

bool SdlPlatform::Init() {
  // SIGINT and SIGTERM arrive as SDL_QUIT, which the program treats as a close request.
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    SetLastError(std::string("cannot start SDL video: ") + SDL_GetError());
    return false;
  }
  initialised_ = true;
  return true;
}

bool SdlPlatform::OpenWindow(const char* title, int width, int height) {
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // A drag that leaves the window still gets its release.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
  window_ = SDL_CreateWindow(title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width, height,
                             SDL_WINDOW_FULLSCREEN_DESKTOP);
  if (!window_) {
    SetLastError(std::string("cannot open the window: ") + SDL_GetError());
    return false;
  }
  width_ = width;
  height_ = height;
  renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (!renderer_) {
    SetLastError(std::string("cannot create a renderer: ") + SDL_GetError());
    return false;
  }
  SDL_RenderSetLogicalSize(renderer_, width, height);
  SDL_ShowCursor(SDL_DISABLE);
  return RestorePresentation();
}

void SdlPlatform::CloseWindow() {
  if (texture_) SDL_DestroyTexture(texture_);
  texture_ = nullptr;
  if (renderer_) SDL_DestroyRenderer(renderer_);
  renderer_ = nullptr;
  if (window_) SDL_DestroyWindow(window_);
  window_ = nullptr;
}

void SdlPlatform::ReleaseButtons() {
  for (Button& b : buttons_) b.down = false;
}

void SdlPlatform::Pump() {
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
    switch (event.type) {
      case SDL_QUIT:
        messages_.push_back(Message::kClose);
        break;
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) messages_.push_back(Message::kClose);
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) ReleaseButtons();
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
            event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
          repaint_ = true;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        int index = event.button.button == SDL_BUTTON_LEFT    ? 0
                    : event.button.button == SDL_BUTTON_RIGHT ? 1
                                                              : -1;
        if (index < 0) break;
        bool down = event.type == SDL_MOUSEBUTTONDOWN;
        buttons_[index].down = down;
        if (down) buttons_[index].pressed_since_read = true;
        break;
      }
      case SDL_RENDER_DEVICE_RESET:
      case SDL_RENDER_TARGETS_RESET:
        presentation_lost_ = true;
        break;
      default:
        break;
    }
  }
}

bool SdlPlatform::PeekMessage(Message* message) {
  Pump();
  if (messages_.empty()) return false;
  *message = messages_.front();
  messages_.pop_front();
  return true;
}

void SdlPlatform::WaitForMessage(uint32_t timeout_ms) {
  if (!messages_.empty()) return;
  SDL_WaitEventTimeout(nullptr, int(timeout_ms));
}

Point SdlPlatform::CursorPos() {
  Pump();
  // The position of the last mouse event; while a button is held the window keeps receiving
  // them even outside itself (mouse capture), so a drag is followed everywhere.
  int wx = 0, wy = 0;
  SDL_GetMouseState(&wx, &wy);
  if (!renderer_) return {wx, wy};
  float lx = 0, ly = 0;
  SDL_RenderWindowToLogical(renderer_, wx, wy, &lx, &ly);
  return {int(std::floor(lx)), int(std::floor(ly))};
}

void SdlPlatform::SetCursorPos(int x, int y) {
  if (!window_ || !renderer_) return;
  int wx = 0, wy = 0;
  SDL_RenderLogicalToWindow(renderer_, float(x), float(y), &wx, &wy);
  SDL_WarpMouseInWindow(window_, wx, wy);
}

int16_t SdlPlatform::AsyncButtonState(MouseButton button) {
  Pump();
  Button& b = buttons_[int(button)];
  int value = (b.down ? 0x8000 : 0) | (b.pressed_since_read ? 1 : 0);
  b.pressed_since_read = false;
  return int16_t(value);
}

uint32_t SdlPlatform::TimeMs() {
  return SDL_GetTicks();
}

void SdlPlatform::Sleep(uint32_t ms) {
  SDL_Delay(ms);
}

void SdlPlatform::ShowMessageBox(const char* text, const char* caption) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, window_);
}

std::unique_ptr<render::RenderSystem> SdlPlatform::CreateRenderSystem() {
  return std::make_unique<render::RenderSystem>(this);
}

std::unique_ptr<audio::AudioDevice> SdlPlatform::OpenAudio() {
  return OpenSdlAudio();
}

bool SdlPlatform::PresentFrame(const uint32_t* pixels, int width, int height, int pitch_pixels) {
  Pump();
  if (presentation_lost_ || !texture_) return false;
  // A frame equal to the one on screen is not sent again: an idle screen costs next to nothing.
  const size_t count = size_t(width) * height;
  bool same = !repaint_ && shown_.size() == count;
  for (int y = 0; same && y < height; ++y)
    same = std::memcmp(shown_.data() + size_t(y) * width, pixels + size_t(y) * pitch_pixels,
                       size_t(width) * 4) == 0;
  if (same) return true;
  shown_.resize(count);
  for (int y = 0; y < height; ++y)
    std::memcpy(shown_.data() + size_t(y) * width, pixels + size_t(y) * pitch_pixels,
                size_t(width) * 4);
  repaint_ = false;
  SDL_UpdateTexture(texture_, nullptr, pixels, pitch_pixels * 4);
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_Rect area{0, 0, width, height};
  SDL_RenderCopy(renderer_, texture_, &area, nullptr);
  SDL_RenderPresent(renderer_);
  return true;
}

bool SdlPlatform::RestorePresentation() {
  if (!renderer_) return false;
  if (texture_) SDL_DestroyTexture(texture_);
  texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING,
                               width_, height_);
  if (!texture_) {
    SetLastError(std::string("cannot create the frame texture: ") + SDL_GetError());
    return false;
  }
  presentation_lost_ = false;
  repaint_ = true;
  return true;
}

}  // namespace platform
