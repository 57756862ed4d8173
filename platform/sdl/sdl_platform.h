// The game's platform on SDL2: a full-screen-desktop window (or, on request, a resizable one)
// showing the 640x480 client area as large as 4:3 allows, sharply scaled (PictureScaler), Alt+Enter
// or F11 between the two, one pointer at a time, mouse, clock, message box, and SDL2_mixer sound.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/picture_placement.h"
#include "platform/picture_scaler.h"
#include "platform/platform.h"
#include "platform/sdl/screen_output.h"

struct SDL_Window;

namespace platform {

class SdlPlatform : public Platform {
 public:
  SdlPlatform() = default;
  ~SdlPlatform() override;
  SdlPlatform(const SdlPlatform&) = delete;
  SdlPlatform& operator=(const SdlPlatform&) = delete;

  // Starts SDL's video and event services; false with LastError() when it cannot, or when the only
  // video driver left is an invisible one that nobody asked for.
  bool Init() override;
  std::string ExecutableFolder() override;
  void SetWindowIcon(const uint32_t* argb, int width, int height) override;

  bool OpenWindow(const char* title, int width, int height, bool full_screen) override;
  void CloseWindow() override;
  bool PeekMessage(Message* message) override;
  void PostMessage(Message message) override { messages_.push_back(message); }
  void WaitForMessage(uint32_t timeout_ms) override;
  Point CursorPos() override;
  bool CursorShown() override;
  void SetCursorPos(int x, int y) override;
  int16_t AsyncButtonState(MouseButton button) override;
  uint32_t TimeMs() override;
  uint64_t TimeUs() override;
  void Sleep(uint32_t ms) override;
  void ShowMessageBox(const char* text, const char* caption) override;
  std::unique_ptr<render::RenderSystem> CreateRenderSystem() override;
  std::unique_ptr<audio::AudioDevice> OpenAudio() override;
  bool PresentFrame(const uint32_t* pixels, int width, int height, int pitch_pixels) override;
  bool BeginFrameRows(int width, int height) override;
  void PresentRows(const uint32_t* pixels, int pitch_pixels, int first_row, int end_row) override;
  bool PresentGathered() override;
  bool PresentationRestorable() override;
  bool RestorePresentation() override;
  std::string TakeDroppedFile() override;

 private:
  struct Button {
    bool down = false;
    bool pressed_since_read = false;
  };
  // Moves every pending SDL event into the button state and the message queue.
  void Pump();
  void ReleaseButtons();
  void ToggleFullScreen();
  // Makes the screen output: the window's surface, or a GPU renderer where one is worth it.
  bool MakeOutput();
  // After any change of the window's size or mode: where the picture goes and how it is scaled,
  // where the pointer is and where it may go.
  // `confine` is false while the window manager may still be changing the window (the size it
  // settles at arrives as an event, which fits again and holds the pointer then).
  void FitToWindow(bool confine = true);
  // Full screen the pointer is held on the picture; re-applied when the window gets focus back.
  void ConfinePointer();
  // The pointer's true place, asked of the display server: after a size change no motion arrives.
  void QueryPointer();
  // Shows the desktop's pointer only where the game draws no cursor of its own.
  void UpdatePointerVisibility();
  // Scales picture rows [first_row, end_row) of the shown frame to the screen and shows them; the
  // whole picture and the bars when a repaint is due.
  void SendShown(int first_row, int end_row);

  bool initialised_ = false;
  bool has_display_ = false;  // a video driver a person can see
  bool warned_presenter_ = false;
  bool full_screen_ = true;
  bool desktop_pointer_shown_ = false;
  bool confined_ = false;  // the pointer is held on the picture
  // The pointer in window pixels, the one space every pointer decision is taken in, and the
  // picture's rectangle there.
  Point pointer_;
  PixelRect window_picture_;
  // A client pixel the pointer is to be put back over when the window's size next settles.
  Point held_client_;
  bool holding_ = false;
  std::vector<uint32_t> icon_;
  int icon_width_ = 0;
  int icon_height_ = 0;
  SDL_Window* window_ = nullptr;
  std::unique_ptr<ScreenOutput> output_;
  PictureScaler scaler_;
  int width_ = 0;
  int height_ = 0;
  bool presentation_lost_ = false;
  bool renderer_lost_ = false;   // the output itself must be made again
  bool repaint_ = true;          // the window needs the frame again (exposed, resized, new)
  std::vector<uint32_t> shown_;  // the frame on screen
  // A frame handed over in rows goes straight into shown_, each row only if it differs, and
  // marks it in row_changed_ (each thread its own rows).
  bool gathering_ = false;
  int gathered_width_ = 0;
  int gathered_height_ = 0;
  std::vector<uint8_t> row_changed_;
  Button buttons_[2];
  std::deque<Message> messages_;
  std::deque<std::string> dropped_;  // files dropped on the window, oldest first
};

}  // namespace platform
