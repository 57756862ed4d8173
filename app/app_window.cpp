#include "app/app_window.h"

#include <cstdio>

bool AppWindow::CreateMainWindow(int show_command, const char* class_name, const char* caption,
                                 int full_screen_permission, int width, int height) {
  std::snprintf(class_name_, sizeof class_name_, "%s", class_name);
  // Full screen shows the client area letterboxed on the whole desktop; otherwise it is a window.
  const bool full_screen = full_screen_permission == 1 && show_command == kShowFullScreen;
  if (!platform_->OpenWindow(caption, width, height, full_screen)) return false;
  has_window_ = true;
  return OnCreated();
}

intptr_t AppWindow::WindowProc(platform::Message message) {
  if (message == platform::Message::kDestroy) PostQuitMessage(0);
  return DefWindowProc(message);
}

intptr_t AppWindow::DefWindowProc(platform::Message message) {
  if (message == platform::Message::kClose && has_window_) {
    platform_->CloseWindow();
    has_window_ = false;
    WindowProc(platform::Message::kDestroy);
  }
  return 0;
}

void AppWindow::PostQuitMessage(int code) {
  quit_code_ = code;
  platform_->PostMessage(platform::Message::kQuit);
}

bool AppWindow::Pump() {
  platform::Message message;
  bool had_message = platform_->PeekMessage(&message);
  if (had_message) {
    if (message == platform::Message::kQuit) return false;
    WindowProc(message);
  }
  Frame();
  // Nothing waiting: sleep until input arrives or the next frame is due instead of spinning.
  if (!had_message) platform_->WaitForMessage(MsUntilFrameDue());
  return true;
}

int AppWindow::Run() {
  while (Pump()) {
  }
  OnQuit();
  return quit_code_;
}
