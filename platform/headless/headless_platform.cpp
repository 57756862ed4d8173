#include "platform/headless/headless_platform.h"

#include <algorithm>

#include "platform/image/png_write.h"
#include "platform/picture_placement.h"

namespace platform {

std::string HeadlessPlatform::TakeDroppedFile() {
  if (dropped_.empty()) return "";
  std::string path = std::move(dropped_.front());
  dropped_.pop_front();
  return path;
}

std::string HeadlessPlatform::Environment(const char* name) {
  const auto found = env_.find(name);
  return found == env_.end() ? "" : found->second;
}

void HeadlessPlatform::DropFile(const std::string& path) {
  dropped_.push_back(path);
  messages_.push_back(Message::kFileDropped);
}

void HeadlessPlatform::SetWindowIcon(const uint32_t* /*argb*/, int width, int height) {
  icon_width_ = width;
  icon_height_ = height;
}

bool HeadlessPlatform::OpenWindow(const char* title, int width, int height, bool full_screen) {
  if (fail_window_) {
    SetLastError("cannot open the window");
    return false;
  }
  title_ = title;
  full_screen_ = full_screen;
  frame_width_ = width;
  frame_height_ = height;
  frame_.assign(size_t(width) * height, 0);
  window_open_ = true;
  return true;
}

bool HeadlessPlatform::CursorShown() {
  // The scripted mouse moves in client pixels: the picture is shown 1:1 here.
  return ShownPointer(full_screen_, OverPicture(cursor_, {0, 0, frame_width_, frame_height_})).game;
}

bool HeadlessPlatform::PeekMessage(Message* message) {
  if (messages_.empty()) return false;
  *message = messages_.front();
  messages_.pop_front();
  return true;
}

void HeadlessPlatform::WaitForMessage(uint32_t timeout_ms) {
  if (messages_.empty()) now_ += timeout_ms;
}

int16_t HeadlessPlatform::AsyncButtonState(MouseButton button) {
  Button& b = buttons_[int(button)];
  int value = (b.down ? 0x8000 : 0) | (b.pressed_since_read ? 1 : 0);
  b.pressed_since_read = false;
  return int16_t(value);
}

void HeadlessPlatform::Press(MouseButton button) {
  buttons_[int(button)].down = true;
  buttons_[int(button)].pressed_since_read = true;
}

void HeadlessPlatform::ShowMessageBox(const char* text, const char* /*caption*/) {
  message_boxes_.emplace_back(text);
}

std::unique_ptr<render::RenderSystem> HeadlessPlatform::CreateRenderSystem() {
  auto system = std::make_unique<render::RenderSystem>(this);
  if (device_filter_) system->SetAvailable(device_filter_);
  return system;
}

std::unique_ptr<audio::AudioDevice> HeadlessPlatform::OpenAudio() {
  auto device = std::make_unique<audio::RecordingAudio>([this] { return now_; });
  device->ShareLogs(&sounds_, &skipped_sounds_);
  return device;
}

bool HeadlessPlatform::PresentFrame(const uint32_t* pixels, int width, int height,
                                    int pitch_pixels) {
  gathering_ = false;
  if (presentation_lost_) return false;
  frame_width_ = width;
  frame_height_ = height;
  frame_.resize(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    std::copy(pixels + size_t(y) * pitch_pixels, pixels + size_t(y) * pitch_pixels + width,
              frame_.begin() + ptrdiff_t(y) * width);
  ++frames_presented_;
  return true;
}

bool HeadlessPlatform::BeginFrameRows(int width, int height) {
  gathering_ = false;
  if (presentation_lost_ || width <= 0 || height <= 0) return false;
  gathered_.resize(size_t(width) * height);
  gathered_width_ = width;
  gathered_height_ = height;
  gathering_ = true;
  return true;
}

void HeadlessPlatform::PresentRows(const uint32_t* pixels, int pitch_pixels, int first_row,
                                   int end_row) {
  if (!gathering_) return;
  first_row = std::max(first_row, 0);
  end_row = std::min(end_row, gathered_height_);
  for (int y = first_row; y < end_row; ++y)
    std::copy(pixels + size_t(y) * pitch_pixels,
              pixels + size_t(y) * pitch_pixels + gathered_width_,
              gathered_.begin() + ptrdiff_t(y) * gathered_width_);
}

bool HeadlessPlatform::PresentGathered() {
  if (!gathering_) return false;
  gathering_ = false;
  if (presentation_lost_) return false;
  frame_.swap(gathered_);
  frame_width_ = gathered_width_;
  frame_height_ = gathered_height_;
  ++frames_presented_;
  return true;
}

bool HeadlessPlatform::WriteFramePng(const std::string& path) const {
  return image::WritePng(path, frame_.data(), frame_width_, frame_height_, frame_width_, false,
                         nullptr);
}

int HeadlessPlatform::CountSound(const std::string& name) const {
  return int(std::count_if(sounds_.begin(), sounds_.end(),
                           [&](const audio::PlayRecord& p) { return p.name == name; }));
}

}  // namespace platform
