// The game's platform on SDL2: a full-screen-desktop window (or, on request, a resizable one)
// showing the 640x480 client area letterboxed with crisp scaling, Alt+Enter between the two, a
// pointer held on the picture, mouse, clock, message box, and SDL2_mixer sound.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/platform.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

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
  void SetCursorPos(int x, int y) override;
  int16_t AsyncButtonState(MouseButton button) override;
  uint32_t TimeMs() override;
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
  // After any change of the window's size or mode: how the picture is scaled, where the pointer
  // may go.
  void FitPicture();
  // Shows the system pointer only where the game draws no cursor of its own (outside the picture).
  void UpdatePointerVisibility(int window_x, int window_y);
  // The picture's rectangle in window coordinates.
  void PictureRect(int* x, int* y, int* w, int* h) const;

  bool initialised_ = false;
  bool has_display_ = false;  // a video driver a person can see
  bool full_screen_ = true;
  bool pointer_shown_ = false;
  std::vector<uint32_t> icon_;
  int icon_width_ = 0;
  int icon_height_ = 0;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  bool presentation_lost_ = false;
  bool renderer_lost_ = false;   // the renderer itself must be made again
  bool repaint_ = true;          // the window needs the frame again (exposed, resized, new)
  std::vector<uint32_t> shown_;  // the frame on screen
  // A frame handed over in rows goes straight into shown_, each row only if it differs;
  // `gathered_changed_` says whether any did.
  bool gathering_ = false;
  int gathered_width_ = 0;
  int gathered_height_ = 0;
  std::atomic<bool> gathered_changed_ = false;
  void SendShown(int width, int height);
  Button buttons_[2];
  std::deque<Message> messages_;
  std::deque<std::string> dropped_;  // files dropped on the window, oldest first
};

}  // namespace platform
