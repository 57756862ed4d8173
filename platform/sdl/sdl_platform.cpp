#include "platform/sdl/sdl_platform.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "platform/render/render_device.h"
#include "platform/sdl/presenter_choice.h"
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
  const char* runtime = SDL_getenv("XDG_RUNTIME_DIR");
  const bool has_x11 = x11 && *x11, has_wayland = wayland && *wayland;
  std::string why;
  if (!has_x11 && !has_wayland)
    why = "DISPLAY and WAYLAND_DISPLAY are not set";
  else if (!has_x11 && wayland[0] != '/' && (!runtime || !*runtime))
    why = std::string("WAYLAND_DISPLAY=") + wayland +
          " is looked for in XDG_RUNTIME_DIR, which is not set";
  else
    why = std::string("the display ") + (has_x11 ? std::string("DISPLAY=") + x11 : "") +
          (has_x11 && has_wayland ? " / " : "") +
          (has_wayland ? std::string("WAYLAND_DISPLAY=") + wayland : "") + " does not answer";
  return "there is no display to show its window on (" + why +
         "); start it from a desktop session, or name a video driver in SDL_VIDEODRIVER";
}

}  // namespace

bool SdlPlatform::Init() {
  const char* named = SDL_getenv("SDL_VIDEODRIVER");
  const bool asked_by_name = named && *named;
  if (!asked_by_name) {
    // Only the drivers of the displays the environment names are tried: another one would only
    // fail too, and some print lines of their own first (Wayland's library without
    // XDG_RUNTIME_DIR), where a person should read exactly one.
    const char* x11 = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    const char* runtime = SDL_getenv("XDG_RUNTIME_DIR");
    const bool use_x11 = x11 && *x11;
    const bool use_wayland = wayland && *wayland && (wayland[0] == '/' || (runtime && *runtime));
    if (!use_x11 && !use_wayland) {
      SetLastError(NoDisplayReason());
      return false;
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, use_wayland && use_x11 ? "wayland,x11"
                                      : use_wayland          ? "wayland"
                                                             : "x11");
  }
  // SIGINT and SIGTERM arrive as SDL_QUIT, which the program treats as a close request.
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
    const std::string error = SDL_GetError();
    SDL_Quit();  // what a failed start did set up (its D-Bus connection) is let go
    SetLastError(asked_by_name ? "cannot start SDL video: " + error : NoDisplayReason());
    return false;
  }
  initialised_ = true;
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
  // A drag that leaves the window still gets its release.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
  // The window's surface is plain shared memory with the display server, never a GPU texture in
  // disguise: the GPU, where it pays, is asked for explicitly.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  width_ = width;
  height_ = height;
  full_screen_ = full_screen;
  row_changed_.assign(size_t(height), 0);
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
  SDL_ShowCursor(SDL_DISABLE);
  desktop_pointer_shown_ = false;
  if (!MakeOutput()) return false;
  FitToWindow();
  return RestorePresentation();
}

bool SdlPlatform::MakeOutput() {
  output_.reset();
  std::error_code error;
  const bool render_node = std::filesystem::exists("/dev/dri/renderD128", error);
  const char* software = SDL_getenv("LIBGL_ALWAYS_SOFTWARE");
  const PresenterChoice choice = ChoosePresenter(SDL_getenv("ZENTROVA_PRESENTER"), render_node,
                                                 software && *software && *software != '0');
  if (!choice.warning.empty() && !warned_presenter_) {
    std::fprintf(stderr, "zentrova: %s\n", choice.warning.c_str());
    warned_presenter_ = true;
  }
  if (choice.kind == PresenterKind::kGpu) output_ = MakeGpuOutput(window_, !choice.forced);
  if (!output_ && !(choice.forced && choice.kind == PresenterKind::kGpu))
    output_ = MakeSurfaceOutput(window_);
  return output_ != nullptr;
}

void SdlPlatform::FitToWindow(bool confine) {
  if (!window_ || !output_) return;
  int out_w = 0, out_h = 0;
  if (!output_->OutputSize(&out_w, &out_h)) {
    presentation_lost_ = true;
    return;
  }
  const PixelRect picture = platform::FitPicture(width_, height_, out_w, out_h);
  if (!output_->Fit(picture)) {
    presentation_lost_ = true;
    return;
  }
  scaler_.Prepare(width_, height_, picture.w, picture.h);
  // The pointer's rectangle is the same picture in window pixels (they differ from output pixels
  // only on a high-density screen).
  int window_w = 0, window_h = 0;
  SDL_GetWindowSize(window_, &window_w, &window_h);
  window_picture_ = platform::FitPicture(width_, height_, window_w, window_h);
  if (confine) ConfinePointer();
  if (holding_ && confine) {
    // The size the window settled at: the pointer goes back over the picture pixel it was on.
    holding_ = false;
    pointer_ = ClientToWindow(held_client_, window_picture_, width_, height_);
    SDL_WarpMouseInWindow(window_, pointer_.x, pointer_.y);
    UpdatePointerVisibility();
    repaint_ = true;
    return;
  }
  QueryPointer();
  UpdatePointerVisibility();
  repaint_ = true;
}

void SdlPlatform::ConfinePointer() {
  // Full screen, the bars beside the picture are dead space where no cursor is drawn: the pointer
  // stays on the picture. A window lets it go, to reach the rest of the desktop.
  confined_ = full_screen_;
  if (full_screen_) {
    const SDL_Rect rect{window_picture_.x, window_picture_.y, window_picture_.w, window_picture_.h};
    SDL_SetWindowMouseRect(window_, &rect);
  } else {
    SDL_SetWindowMouseRect(window_, nullptr);
  }
}

void SdlPlatform::QueryPointer() {
#ifdef ZENTROVA_X11
  // Asked relative to the window itself: right after a change of mode SDL's idea of where the
  // window is can lag behind where the window manager put it.
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (SDL_GetWindowWMInfo(window_, &info) && info.subsystem == SDL_SYSWM_X11) {
    Window root, child;
    int root_x, root_y, x, y;
    unsigned int mask;
    if (XQueryPointer(info.info.x11.display, info.info.x11.window, &root, &child, &root_x, &root_y,
                      &x, &y, &mask)) {
      pointer_ = {x, y};
      return;
    }
  }
#endif
  int global_x = 0, global_y = 0, window_x = 0, window_y = 0;
  SDL_GetGlobalMouseState(&global_x, &global_y);
  SDL_GetWindowPosition(window_, &window_x, &window_y);
  pointer_ = {global_x - window_x, global_y - window_y};
}

void SdlPlatform::UpdatePointerVisibility() {
  const bool show = ShownPointer(full_screen_, OverPicture(pointer_, window_picture_)).desktop;
  if (show != desktop_pointer_shown_) SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
  desktop_pointer_shown_ = show;
}

void SdlPlatform::ToggleFullScreen() {
  if (!window_) return;
  // Held on the old picture while the window manager changes the window, the pointer would be
  // pushed about; it is held again once the new size has arrived.
  SDL_SetWindowMouseRect(window_, nullptr);
  // The pointer keeps its place on the picture: SDL would keep its place in the window instead.
  held_client_ = WindowToClient(pointer_, window_picture_, width_, height_);
  holding_ = true;
  const bool full = !full_screen_;
  if (SDL_SetWindowFullscreen(window_, full ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) return;
  full_screen_ = full;
  FitToWindow(false);
}

void SdlPlatform::CloseWindow() {
  output_.reset();
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
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) FitToWindow();
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) ConfinePointer();
        if (event.window.event == SDL_WINDOWEVENT_MOVED) {
          QueryPointer();
          UpdatePointerVisibility();
        }
        break;
      case SDL_KEYDOWN: {
        // The toy is played with the mouse; these keys are the desktop's, not the game's.
        const bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
        const SDL_Keycode key = event.key.keysym.sym;
        if (((alt && key == SDLK_RETURN) || key == SDLK_F11) && !event.key.repeat)
          ToggleFullScreen();
        if (alt && key == SDLK_F4) messages_.push_back(Message::kClose);
        const bool ctrl = (event.key.keysym.mod & KMOD_CTRL) != 0;
        const bool shift = (event.key.keysym.mod & KMOD_SHIFT) != 0;
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
        pointer_ = {event.motion.x, event.motion.y};
        if (full_screen_ && !confined_) ConfinePointer();
        UpdatePointerVisibility();
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        pointer_ = {event.button.x, event.button.y};
        holding_ = false;  // the person has taken the pointer
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
  // While a button is held the window keeps receiving motion even outside itself (mouse
  // capture), so a drag is followed everywhere; over the bars the cursor stays on the picture's
  // nearest edge.
  return WindowToClient(pointer_, window_picture_, width_, height_);
}

bool SdlPlatform::CursorShown() {
  Pump();
  return ShownPointer(full_screen_, OverPicture(pointer_, window_picture_)).game;
}

void SdlPlatform::SetCursorPos(int x, int y) {
  if (!window_) return;
  // Warped in screen pixels from where SDL has the window now: a full-screen window is already
  // full size to SDL while the display server may still be making it so, and a warp relative to
  // the window would land where the window was.
  pointer_ = ClientToWindow({x, y}, window_picture_, width_, height_);
  // Where the window is still changing, the warp is made again once its size has settled.
  held_client_ = {x, y};
  holding_ = true;
  int window_x = 0, window_y = 0;
  SDL_GetWindowPosition(window_, &window_x, &window_y);
  SDL_WarpMouseGlobal(window_x + pointer_.x, window_y + pointer_.y);
  UpdatePointerVisibility();
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

uint64_t SdlPlatform::TimeUs() {
  static const uint64_t frequency = SDL_GetPerformanceFrequency();
  const uint64_t ticks = SDL_GetPerformanceCounter();
  // Whole seconds and the rest apart, so that the product cannot overflow.
  return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

void SdlPlatform::Sleep(uint32_t ms) {
  SDL_Delay(ms);
}

void SdlPlatform::ShowMessageBox(const char* text, const char* caption) {
  if (!has_display_) return;
  // SDL turns SIGTERM and SIGINT into a quit event, which nobody reads while the box waits: let
  // them end the program as they would any other.
  void (*term)(int) = std::signal(SIGTERM, SIG_DFL);
  void (*interrupt)(int) = std::signal(SIGINT, SIG_DFL);
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, caption, text, window_);
  if (term != SIG_ERR) std::signal(SIGTERM, term);
  if (interrupt != SIG_ERR) std::signal(SIGINT, interrupt);
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
  if (presentation_lost_ || !output_ || width != width_ || height != height_) return false;
  // Only rows that differ from the frame on screen are sent: an idle screen costs next to
  // nothing, and a moving cursor only its band.
  const size_t count = size_t(width) * height;
  if (shown_.size() != count) {
    shown_.assign(count, 0);
    repaint_ = true;
  }
  int first = height, end = 0;
  for (int y = 0; y < height; ++y) {
    uint32_t* shown = shown_.data() + size_t(y) * width;
    const uint32_t* row = pixels + size_t(y) * pitch_pixels;
    if (std::memcmp(shown, row, size_t(width) * 4) == 0) continue;
    std::memcpy(shown, row, size_t(width) * 4);
    first = std::min(first, y);
    end = y + 1;
  }
  SendShown(first, end);
  return true;
}

void SdlPlatform::SendShown(int first_row, int end_row) {
  if (repaint_) {
    first_row = 0;
    end_row = height_;
  }
  if (end_row <= first_row) return;
  const std::pair<int, int> rows =
      repaint_ ? std::make_pair(0, scaler_.DestHeight()) : scaler_.DestRowsOf(first_row, end_row);
  scaler_.ScaleRows(shown_.data(), width_, output_->Pixels(), output_->Pitch(), rows.first,
                    rows.second);
  repaint_ = false;
  if (!output_->Show(rows.first, rows.second)) presentation_lost_ = true;
}

bool SdlPlatform::BeginFrameRows(int width, int height) {
  Pump();
  if (gathering_) repaint_ = true;
  gathering_ = false;
  if (presentation_lost_ || !output_ || width != width_ || height != height_) return false;
  const size_t count = size_t(width) * height;
  if (shown_.size() != count) {
    shown_.assign(count, 0);
    repaint_ = true;
  }
  gathered_width_ = width;
  gathered_height_ = height;
  std::fill(row_changed_.begin(), row_changed_.end(), 0);
  gathering_ = true;
  return true;
}

void SdlPlatform::PresentRows(const uint32_t* pixels, int pitch_pixels, int first_row,
                              int end_row) {
  if (!gathering_) return;
  const size_t row_bytes = size_t(gathered_width_) * 4;
  for (int y = std::max(first_row, 0); y < std::min(end_row, gathered_height_); ++y) {
    uint32_t* shown = shown_.data() + size_t(y) * gathered_width_;
    const uint32_t* row = pixels + size_t(y) * pitch_pixels;
    if (std::memcmp(shown, row, row_bytes) == 0) continue;
    std::memcpy(shown, row, row_bytes);
    row_changed_[size_t(y)] = 1;
  }
}

bool SdlPlatform::PresentGathered() {
  if (!gathering_) return false;
  gathering_ = false;
  if (presentation_lost_ || !output_) {
    repaint_ = true;
    return false;
  }
  int first = gathered_height_, end = 0;
  for (int y = 0; y < gathered_height_; ++y) {
    if (!row_changed_[size_t(y)]) continue;
    first = std::min(first, y);
    end = y + 1;
  }
  SendShown(first, end);
  return true;
}

bool SdlPlatform::PresentationRestorable() {
  Pump();
  // A minimised or hidden window has nowhere to show a frame; wait until it is back.
  return window_ && (SDL_GetWindowFlags(window_) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) == 0;
}

bool SdlPlatform::RestorePresentation() {
  if (!window_) return false;
  if (renderer_lost_ || !output_) {
    // The renderer's device is gone with everything made on it.
    if (!MakeOutput()) return false;
    renderer_lost_ = false;
  }
  presentation_lost_ = false;
  FitToWindow();
  if (presentation_lost_) return false;
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
