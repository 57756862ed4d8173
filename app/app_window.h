// The main window and the message loop. GameApp derives from it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The show command of a normal start: full screen. Any other shows a window.
constexpr int kShowFullScreen = 5;
constexpr int kShowWindowed = 1;

class AppWindow {
 public:
  explicit AppWindow(platform::Platform* platform) : platform_(platform) {}
  virtual ~AppWindow() = default;
  AppWindow(const AppWindow&) = delete;
  AppWindow& operator=(const AppWindow&) = delete;

  // Opens the window (full screen when allowed and shown with show command 5).
  bool CreateMainWindow(int show_command, const char* class_name, const char* caption,
                        int full_screen_permission, int width, int height);
  // The message loop: at most one message per pass, then Frame. Returns the quit code.
  int Run();
  // One pass of the loop; false once the quit message arrived. Tests drive the loop with it.
  bool Pump();

  virtual bool OnCreated() { return true; }
  // Called once per pass of the loop.
  virtual void Frame() {}
  virtual intptr_t WindowProc(platform::Message message);
  virtual void OnQuit() {}
  // How long the loop may sleep before Frame has work again.
  virtual uint32_t MsUntilFrameDue() { return 100; }

  platform::Platform& Platform() const { return *platform_; }
  bool HasWindow() const { return has_window_; }
  // Posts the close request, as PostMessage(WM_CLOSE) does.
  void PostClose() { platform_->PostMessage(platform::Message::kClose); }

 protected:
  // Default processing: a close request destroys the window, which delivers kDestroy.
  intptr_t DefWindowProc(platform::Message message);
  void PostQuitMessage(int code);

 private:
  platform::Platform* platform_;
  bool has_window_ = false;
  char class_name_[1024] = {};
  int quit_code_ = 0;
};
