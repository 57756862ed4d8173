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

// The few window messages the program handles. Besides the mouse, a few keys and a drop: Ctrl+S
// asks to save, Ctrl+E to export; Ctrl+Z (or the mouse's back button) to undo, Ctrl+Shift+Z or
// Ctrl+Y (or the forward button) to redo; a file dropped on the window waits in TakeDroppedFile.
enum class Message { kClose, kDestroy, kQuit, kSaveKey, kFileDropped, kExportKey, kUndo, kRedo };

// The local date and time, as a person reads it on a file name.
struct LocalTime {
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

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
  // The same frame handed over in parts, so that the threads that drew it copy it too:
  // BeginFrameRows readies a frame of that size (false: only whole frames are taken now), then
  // PresentRows copies rows [first_row, end_row), from any thread, each thread its own rows, and
  // once every row is in, PresentGathered shows the frame (false as PresentFrame). A frame begun
  // and never shown is dropped at the next BeginFrameRows or PresentFrame.
  virtual bool BeginFrameRows(int /*width*/, int /*height*/) { return false; }
  virtual void PresentRows(const uint32_t* /*pixels*/, int /*pitch_pixels*/, int /*first_row*/,
                           int /*end_row*/) {}
  virtual bool PresentGathered() { return false; }
  // Whether RestorePresentation can succeed now (false, for example, while the window is
  // minimised or the renderer is still gone).
  virtual bool PresentationRestorable() = 0;
  // Rebuilds what a lost presentation needs; false while that is not yet possible.
  virtual bool RestorePresentation() = 0;
};

class Platform : public Presenter {
 public:
  ~Platform() override = default;

  // Starts the services a window needs; false with LastError() when there is nowhere to show one.
  virtual bool Init() { return true; }
  // The folder holding the running program, ending in a separator; "" when unknown.
  virtual std::string ExecutableFolder() { return ""; }
  // The picture (0xAARRGGBB, row 0 at the top) the window shows as its icon; kept for a window
  // opened later.
  virtual void SetWindowIcon(const uint32_t* argb, int width, int height) = 0;

  // Opens the window with a width x height client area, filling the screen or as a window of its
  // own; false with LastError() when it cannot.
  virtual bool OpenWindow(const char* title, int width, int height, bool full_screen) = 0;
  // Closes the window if it is open; safe to call twice.
  virtual void CloseWindow() = 0;

  // Takes the oldest waiting message; false when none is waiting.
  virtual bool PeekMessage(Message* message) = 0;
  // Queues a message for PeekMessage, like PostMessage to our own window.
  virtual void PostMessage(Message message) = 0;
  // Blocks until a message or input arrives or timeout_ms pass, whichever is first.
  virtual void WaitForMessage(uint32_t timeout_ms) = 0;

  // Cursor position in client pixels, always inside the client area (0..639, 0..479), wherever the
  // pointer itself is.
  virtual Point CursorPos() = 0;
  // Whether the program draws its own cursor now: false while, in a window, the pointer is off
  // the picture and the desktop's own pointer shows there instead.
  virtual bool CursorShown() { return true; }
  // Moves the cursor to a client position.
  virtual void SetCursorPos(int x, int y) = 0;
  // Like GetAsyncKeyState: negative while down; 1 once after a press that began and ended since the
  // last read, so a quick click is never lost; 0 otherwise. Losing focus counts as a release.
  virtual int16_t AsyncButtonState(MouseButton button) = 0;

  // Milliseconds; wraps every 49.7 days, so compare with unsigned subtraction.
  virtual uint32_t TimeMs() = 0;
  // Microseconds from an arbitrary start, for measuring how long a frame took.
  virtual uint64_t TimeUs() = 0;
  // Blocks for ms milliseconds.
  virtual void Sleep(uint32_t ms) = 0;
  // A modal message box with an OK button; nothing where there is no display to show it on.
  virtual void ShowMessageBox(const char* text, const char* caption) = 0;

  // The software Direct3D stand-in; null (with LastError()) when it cannot be made.
  virtual std::unique_ptr<render::RenderSystem> CreateRenderSystem() = 0;
  // The sound output; never null once the platform is up (a machine without sound runs silent).
  virtual std::unique_ptr<audio::AudioDevice> OpenAudio() = 0;

  // The oldest file dropped on the window and not yet taken; "" when none.
  virtual std::string TakeDroppedFile() { return ""; }
  // An environment variable, "" when unset: where the user's folders are.
  virtual std::string Environment(const char* name);
  virtual LocalTime LocalNow();

  // The C runtime's rand/srand with its classic constants, the same on every OS.
  PortableRand& Random() { return random_; }

 private:
  PortableRand random_;
};

// The point of the width x height client area nearest to p.
Point ClampToClient(Point p, int width, int height);

// The reason of the last failure a platform or program call reported, like GetLastError.
// Start-up prints it once when it gives up.
void SetLastError(std::string reason);
const std::string& LastError();

}  // namespace platform
