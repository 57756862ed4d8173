#include "platform/sdl/sdl_platform.h"

#include <SDL.h>

#include <algorithm>
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

namespace {

// SDL falls back to these when no display answers: the game would run unseen until killed.
bool Invisible(const char* driver) {
  return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

std::string NoDisplayReason() {
  const char* x11 = SDL_getenv("DISPLAY");
  const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
  std::string why;
  if ((!x11 || !*x11) && (!wayland || !*wayland))
    why = "DISPLAY and WAYLAND_DISPLAY are not set";
  else
    why = std::string("the display ") + (x11 && *x11 ? std::string("DISPLAY=") + x11 : "") +
          (x11 && *x11 && wayland && *wayland ? " / " : "") +
          (wayland && *wayland ? std::string("WAYLAND_DISPLAY=") + wayland : "") +
          " does not answer";
  return "no display to show the window on (" + why +
         "); start Zentrova from a desktop session, or name a video driver in SDL_VIDEODRIVER";
}

}  // namespace

bool SdlPlatform::Init() {
  // SIGINT and SIGTERM arrive as SDL_QUIT, which the program treats as a close request.
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    SetLastError(std::string("cannot start SDL video: ") + SDL_GetError());
    return false;
  }
  initialised_ = true;
  const bool asked_by_name = SDL_getenv("SDL_VIDEODRIVER") != nullptr;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (Invisible(driver) && !asked_by_name) {
    SetLastError(NoDisplayReason());
    return false;
  }
  has_display_ = !Invisible(driver);
  return true;
}

std::string SdlPlatform::ExecutableFolder() {
  char* path = SDL_GetBasePath();
  if (!path) return "";
  std::string folder = path;
  SDL_free(path);
  return folder;
}

void SdlPlatform::SetWindowIcon(const uint32_t* argb, int width, int height) {
  icon_.assign(argb, argb + size_t(width) * height);
  icon_width_ = width;
  icon_height_ = height;
}

bool SdlPlatform::OpenWindow(const char* title, int width, int height, bool full_screen) {
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
  // A drag that leaves the window still gets its release.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
  width_ = width;
  height_ = height;
  full_screen_ = full_screen;
  // The windowed size is also where Alt+Enter leaves full screen for: twice the picture, or the
  // largest whole multiple that fits the screen, or (on a very small screen) the picture scaled
  // down to fit.
  int window_w = width * 2, window_h = height * 2;
  SDL_Rect usable;
  if (SDL_GetDisplayUsableBounds(0, &usable) == 0 && usable.w > 0 && usable.h > 0) {
    const int room_h = usable.h - 64;  // the title bar and frame the window manager adds
    int scale = 2;
    while (scale > 1 && (width * scale > usable.w || height * scale > room_h)) --scale;
    window_w = width * scale;
    window_h = height * scale;
    if (window_w > usable.w || window_h > room_h) {
      const double fit = std::min(double(usable.w) / width, double(std::max(room_h, 1)) / height);
      window_w = std::max(1, int(width * fit));
      window_h = std::max(1, int(height * fit));
    }
  }
  Uint32 flags = SDL_WINDOW_RESIZABLE | (full_screen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
  window_ = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, window_w,
                             window_h, flags);
  if (!window_) {
    SetLastError(std::string("cannot open the window: ") + SDL_GetError());
    return false;
  }
  SDL_SetWindowMinimumSize(window_, width / 4, height / 4);
  if (!icon_.empty()) {
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
        icon_.data(), icon_width_, icon_height_, 32, icon_width_ * 4, SDL_PIXELFORMAT_ARGB8888);
    if (icon) {
      SDL_SetWindowIcon(window_, icon);
      SDL_FreeSurface(icon);
    }
  }
  renderer_ = SDL_CreateRenderer(window_, -1, 0);
  if (!renderer_) {
    SetLastError(std::string("cannot create a renderer: ") + SDL_GetError());
    return false;
  }
  SDL_RenderSetLogicalSize(renderer_, width, height);
  SDL_ShowCursor(SDL_DISABLE);
  FitPicture();
  return RestorePresentation();
}

void SdlPlatform::PictureRect(int* x, int* y, int* w, int* h) const {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  SDL_RenderLogicalToWindow(renderer_, 0.0f, 0.0f, &x0, &y0);
  SDL_RenderLogicalToWindow(renderer_, float(width_), float(height_), &x1, &y1);
  *x = x0;
  *y = y0;
  *w = std::max(1, x1 - x0);
  *h = std::max(1, y1 - y0);
}

void SdlPlatform::FitPicture() {
  if (!window_ || !renderer_) return;
  // A window keeps whole-pixel scaling while the picture fits at least once; smaller, it shrinks.
  int out_w = 0, out_h = 0;
  SDL_GetRendererOutputSize(renderer_, &out_w, &out_h);
  const bool whole = !full_screen_ && out_w >= width_ && out_h >= height_;
  SDL_RenderSetIntegerScale(renderer_, whole ? SDL_TRUE : SDL_FALSE);
  SDL_RenderSetLogicalSize(renderer_, width_, height_);
  // Full screen, the bars beside the picture are dead space where no cursor is drawn: the pointer
  // stays on the picture. A window lets it go, to reach the rest of the desktop.
  if (full_screen_) {
    SDL_Rect rect;
    PictureRect(&rect.x, &rect.y, &rect.w, &rect.h);
    SDL_SetWindowMouseRect(window_, &rect);
  } else {
    SDL_SetWindowMouseRect(window_, nullptr);
  }
  int mx = 0, my = 0;
  SDL_GetMouseState(&mx, &my);
  UpdatePointerVisibility(mx, my);
  repaint_ = true;
}

void SdlPlatform::UpdatePointerVisibility(int window_x, int window_y) {
  int x, y, w, h;
  PictureRect(&x, &y, &w, &h);
  const bool outside = window_x < x || window_y < y || window_x >= x + w || window_y >= y + h;
  const bool show = !full_screen_ && outside;
  if (show != pointer_shown_) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
  pointer_shown_ = show;
}

void SdlPlatform::ToggleFullScreen() {
  if (!window_) return;
  const bool full = !full_screen_;
  if (SDL_SetWindowFullscreen(window_, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return;
  full_screen_ = full;
  FitPicture();
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
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED) repaint_ = true;
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED ||
            event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
          FitPicture();
        break;
      case SDL_KEYDOWN: {
        // The toy is played with the mouse; these two keys are the desktop's, not the game's.
        const bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
        if (alt && event.key.keysym.sym == SDLK_RETURN && !event.key.repeat) ToggleFullScreen();
        if (alt && event.key.keysym.sym == SDLK_F4) messages_.push_back(Message::kClose);
        const bool ctrl = (event.key.keysym.mod & KMOD_CTRL) != 0;
        const bool shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
        const SDL_Keycode key = event.key.keysym.sym;
        if (ctrl && !alt && key == SDLK_s && !event.key.repeat)
          messages_.push_back(Message::kSaveKey);
        if (ctrl && !alt && key == SDLK_e && !event.key.repeat)
          messages_.push_back(Message::kExportKey);
        // Undo and redo repeat while held, as in every editor.
        if (ctrl && !alt && key == SDLK_z)
          messages_.push_back(shift ? Message::kRedo : Message::kUndo);
        if (ctrl && !alt && key == SDLK_y) messages_.push_back(Message::kRedo);
        break;
      }
      case SDL_MOUSEMOTION:
        UpdatePointerVisibility(event.motion.x, event.motion.y);
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        // The side buttons undo and redo, so that the toy stays a toy of the mouse alone.
        if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_X1) {
          messages_.push_back(Message::kUndo);
          break;
        }
        if (event.type == SDL_MOUSEBUTTONDOWN && event.button.button == SDL_BUTTON_X2) {
          messages_.push_back(Message::kRedo);
          break;
        }
        int index = event.button.button == SDL_BUTTON_LEFT    ? 0
                    : event.button.button == SDL_BUTTON_RIGHT ? 1
                                                              : -1;
        if (index < 0) break;
        bool down = event.type == SDL_MOUSEBUTTONDOWN;
        buttons_[index].down = down;
        if (down) buttons_[index].pressed_since_read = true;
        break;
      }
      case SDL_DROPFILE:
        if (event.drop.file) {
          dropped_.emplace_back(event.drop.file);
          SDL_free(event.drop.file);
          messages_.push_back(Message::kFileDropped);
        }
        break;
      case SDL_RENDER_DEVICE_RESET:
        renderer_lost_ = true;
        presentation_lost_ = true;
        break;
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
  if (!renderer_) return ClampToClient({wx, wy}, width_, height_);
  float lx = 0, ly = 0;
  SDL_RenderWindowToLogical(renderer_, wx, wy, &lx, &ly);
  // Over the bars beside the picture the cursor stays on the picture's nearest edge.
  return ClampToClient({int(std::floor(lx)), int(std::floor(ly))}, width_, height_);
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
  if (!has_display_) return;
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
  if (gathering_) repaint_ = true;  // shown_ holds rows of a frame never shown
  gathering_ = false;
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
  SendShown(width, height);
  return true;
}

void SdlPlatform::SendShown(int width, int height) {
  SDL_UpdateTexture(texture_, nullptr, shown_.data(), width * 4);
  SDL_SetRenderDrawColor(renderer_, 0, 0, 0, 255);
  SDL_RenderClear(renderer_);
  SDL_Rect area{0, 0, width, height};
  SDL_RenderCopy(renderer_, texture_, &area, nullptr);
  SDL_RenderPresent(renderer_);
}

bool SdlPlatform::BeginFrameRows(int width, int height) {
  Pump();
  if (gathering_) repaint_ = true;
  gathering_ = false;
  if (presentation_lost_ || !texture_ || width <= 0 || height <= 0) return false;
  const size_t count = size_t(width) * height;
  if (shown_.size() != count) {
    shown_.assign(count, 0);
    repaint_ = true;
  }
  gathered_width_ = width;
  gathered_height_ = height;
  gathered_changed_.store(false, std::memory_order_relaxed);
  gathering_ = true;
  return true;
}

void SdlPlatform::PresentRows(const uint32_t* pixels, int pitch_pixels, int first_row,
                              int end_row) {
  if (!gathering_) return;
  const size_t row_bytes = size_t(gathered_width_) * 4;
  bool changed = false;
  for (int y = std::max(first_row, 0); y < std::min(end_row, gathered_height_); ++y) {
    uint32_t* shown = shown_.data() + size_t(y) * gathered_width_;
    const uint32_t* row = pixels + size_t(y) * pitch_pixels;
    if (std::memcmp(shown, row, row_bytes) == 0) continue;
    std::memcpy(shown, row, row_bytes);
    changed = true;
  }
  if (changed) gathered_changed_.store(true, std::memory_order_relaxed);
}

bool SdlPlatform::PresentGathered() {
  if (!gathering_) return false;
  gathering_ = false;
  if (presentation_lost_ || !texture_) {
    repaint_ = true;
    return false;
  }
  // As with whole frames, one equal to the one on screen is not sent again.
  if (!repaint_ && !gathered_changed_.load(std::memory_order_relaxed)) return true;
  repaint_ = false;
  SendShown(gathered_width_, gathered_height_);
  return true;
}

bool SdlPlatform::PresentationRestorable() {
  Pump();
  // A minimised or hidden window has nowhere to show a frame; wait until it is back.
  return window_ && (SDL_GetWindowFlags(window_) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) == 0;
}

bool SdlPlatform::RestorePresentation() {
  if (!window_) return false;
  if (renderer_lost_ && renderer_) {
    // The renderer's device is gone with everything made on it; the texture goes with it.
    texture_ = nullptr;
    SDL_DestroyRenderer(renderer_);
    renderer_ = nullptr;
  }
  if (!renderer_) {
    renderer_ = SDL_CreateRenderer(window_, -1, 0);
    if (!renderer_) {
      SetLastError(std::string("cannot create a renderer: ") + SDL_GetError());
      return false;
    }
    renderer_lost_ = false;
    FitPicture();
  }
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

std::string SdlPlatform::TakeDroppedFile() {
  if (dropped_.empty()) return "";
  std::string path = std::move(dropped_.front());
  dropped_.pop_front();
  return path;
}

}  // namespace platform
