// The program's only door to the outside world: window, messages, mouse, clock, sleep, message box,
// random numbers, frame presentation and audio. SdlPlatform runs the game, HeadlessPlatform the
// tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/portable_rand.h"

namespace platform {

namespace audio {
class AudioDevice;
}
namespace render {
class RenderSystem;
}

// The few window messages the program handles.
enum class Message { kClose, kDestroy, kQuit };

enum class MouseButton { kLeft, kRight };

struct Point {
  int x = 0;
  int y = 0;
};

// Where finished frames go. The software device calls it from Present and Reset.
class Presenter {
 public:
  virtual ~Presenter() = default;
  // Shows a 640x480 frame of 0x00RRGGBB pixels; false when the presentation layer lost its
  // renderer.
  virtual bool PresentFrame(const uint32_t* pixels, int width, int height, int pitch_pixels) = 0;
  // Rebuilds what a lost presentation needs; false while that is not yet possible.
  virtual bool RestorePresentation() = 0;
};

class Platform : public Presenter {
 public:
  ~Platform() override = default;

  // Opens the window with a width x height client area; false with LastError() when it cannot.
  virtual bool OpenWindow(const char* title, int width, int height) = 0;
  // Closes the window if it is open; safe to call twice.
  virtual void CloseWindow() = 0;

  // Takes the oldest waiting message; false when none is waiting.
  virtual bool PeekMessage(Message* message) = 0;
  // Queues a message for PeekMessage, like PostMessage to our own window.
  virtual void PostMessage(Message message) = 0;
  // Blocks until a message or input arrives or timeout_ms pass, whichever is first.
  virtual void WaitForMessage(uint32_t timeout_ms) = 0;

  // Cursor position in client pixels (0..639, 0..479 inside the window).
  virtual Point CursorPos() = 0;
  // Moves the cursor to a client position.
  virtual void SetCursorPos(int x, int y) = 0;
  // Like GetAsyncKeyState: negative while down; 1 once after a press that began and ended since the
  // last read, so a quick click is never lost; 0 otherwise. Losing focus counts as a release.
  virtual int16_t AsyncButtonState(MouseButton button) = 0;

  // Milliseconds; wraps every 49.7 days, so compare with unsigned subtraction.
  virtual uint32_t TimeMs() = 0;
  // Blocks for ms milliseconds.
  virtual void Sleep(uint32_t ms) = 0;
  // A modal message box with an OK button.
  virtual void ShowMessageBox(const char* text, const char* caption) = 0;

  // The software Direct3D stand-in; null (with LastError()) when it cannot be made.
  virtual std::unique_ptr<render::RenderSystem> CreateRenderSystem() = 0;
  // The sound output; never null once the platform is up (a machine without sound runs silent).
  virtual std::unique_ptr<audio::AudioDevice> OpenAudio() = 0;

  // The C runtime's rand/srand with its classic constants, the same on every OS.
  PortableRand& Random() { return random_; }

 private:
  PortableRand random_;
};

// The reason of the last failure a platform or program call reported, like GetLastError.
// Start-up prints it once when it gives up.
void SetLastError(std::string reason);
const std::string& LastError();

}  // namespace platform
