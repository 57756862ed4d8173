// The platform for tests and tools: a virtual clock, a scripted mouse, captured frames and
// recorded message boxes and sounds. Nothing touches a display or a sound card.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio/recording_audio.h"
#include "platform/platform.h"
#include "platform/render/render_device.h"

namespace platform {

class HeadlessPlatform : public Platform {
 public:
  explicit HeadlessPlatform(uint32_t start_ms = 0) : now_(start_ms) {}

  std::string ExecutableFolder() override { return executable_folder_; }
  void SetWindowIcon(const uint32_t* argb, int width, int height) override;
  bool OpenWindow(const char* title, int width, int height, bool full_screen) override;
  void CloseWindow() override { window_open_ = false; }
  bool PeekMessage(Message* message) override;
  void PostMessage(Message message) override { messages_.push_back(message); }
  // Nothing arrives by itself here, so waiting means the time passes at once.
  void WaitForMessage(uint32_t timeout_ms) override;
  Point CursorPos() override { return ClampToClient(cursor_, frame_width_, frame_height_); }
  bool CursorShown() override;
  void SetCursorPos(int x, int y) override { cursor_ = {x, y}; }
  int16_t AsyncButtonState(MouseButton button) override;
  uint32_t TimeMs() override { return now_; }
  // The same virtual clock: a frame takes no time unless the test advances it.
  uint64_t TimeUs() override { return uint64_t(now_) * 1000; }
  void Sleep(uint32_t ms) override { now_ += ms; }
  void ShowMessageBox(const char* text, const char* caption) override;
  std::unique_ptr<render::RenderSystem> CreateRenderSystem() override;
  std::unique_ptr<audio::AudioDevice> OpenAudio() override;
  bool PresentFrame(const uint32_t* pixels, int width, int height, int pitch_pixels) override;
  bool BeginFrameRows(int width, int height) override;
  void PresentRows(const uint32_t* pixels, int pitch_pixels, int first_row, int end_row) override;
  bool PresentGathered() override;
  bool PresentationRestorable() override { return !presentation_lost_; }
  bool RestorePresentation() override { return !presentation_lost_; }

  std::string TakeDroppedFile() override;
  // Only what the test sets: a test never reaches the person's own folders by accident.
  std::string Environment(const char* name) override;
  LocalTime LocalNow() override { return now_time_; }

  // Scripted keys, drops, environment and wall clock.
  void PressSaveKeys() { messages_.push_back(Message::kSaveKey); }
  // Any other key or button that arrives as a message (export, undo, redo).
  void Send(Message message) { messages_.push_back(message); }
  void DropFile(const std::string& path);
  void SetEnvironment(const std::string& name, const std::string& value) { env_[name] = value; }
  void SetNow(const LocalTime& now) { now_time_ = now; }

  // Scripted mouse; it may leave the client area, as a real pointer over the bars beside it does.
  void MoveMouse(int x, int y) { cursor_ = {x, y}; }
  void Press(MouseButton button);
  void Release(MouseButton button) { buttons_[int(button)].down = false; }
  void Advance(uint32_t ms) { now_ += ms; }

  // What a person would have seen and heard.
  bool WindowOpen() const { return window_open_; }
  const std::string& WindowTitle() const { return title_; }
  bool FullScreen() const { return full_screen_; }
  // Width and height of the icon the window was given; 0 x 0 without one.
  std::pair<int, int> IconSize() const { return {icon_width_, icon_height_}; }
  int FramesPresented() const { return frames_presented_; }
  // The last presented frame, 0x00RRGGBB, 640 per row.
  const std::vector<uint32_t>& LastFrame() const { return frame_; }
  uint32_t FramePixel(int x, int y) const { return frame_[size_t(y) * frame_width_ + x]; }
  bool WriteFramePng(const std::string& path) const;
  const std::vector<std::string>& MessageBoxes() const { return message_boxes_; }
  const std::vector<audio::PlayRecord>& SoundsPlayed() const { return sounds_; }
  // Effects skipped because every effect channel was busy.
  const std::vector<audio::PlayRecord>& SoundsSkipped() const { return skipped_sounds_; }
  int CountSound(const std::string& name) const;
  void ClearSounds() {
    sounds_.clear();
    skipped_sounds_.clear();
  }

  // Failure injection.
  void SetDeviceFilter(render::RenderSystem::Filter filter) { device_filter_ = std::move(filter); }
  void SetPresentationLost(bool lost) { presentation_lost_ = lost; }
  void FailWindow(bool fail) { fail_window_ = fail; }
  void SetExecutableFolder(std::string folder) { executable_folder_ = std::move(folder); }

 private:
  struct Button {
    bool down = false;
    bool pressed_since_read = false;
  };
  uint32_t now_;
  Point cursor_;
  Button buttons_[2];
  std::deque<Message> messages_;
  bool window_open_ = false;
  bool fail_window_ = false;
  bool full_screen_ = false;
  int icon_width_ = 0;
  int icon_height_ = 0;
  std::string executable_folder_;
  bool presentation_lost_ = false;
  std::string title_;
  std::vector<uint32_t> frame_;
  int frame_width_ = 0;
  int frame_height_ = 0;
  // A frame handed over in rows: shown, by a swap with frame_, only once it is whole.
  std::vector<uint32_t> gathered_;
  int gathered_width_ = 0;
  int gathered_height_ = 0;
  bool gathering_ = false;
  int frames_presented_ = 0;
  std::vector<std::string> message_boxes_;
  std::vector<audio::PlayRecord> sounds_;
  std::vector<audio::PlayRecord> skipped_sounds_;
  render::RenderSystem::Filter device_filter_;
  std::deque<std::string> dropped_;
  std::map<std::string, std::string> env_;
  LocalTime now_time_{2024, 5, 6, 7, 8, 9};
};

}  // namespace platform
