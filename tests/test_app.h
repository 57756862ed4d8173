// A headless run of the real GameApp on the generated data, driven like a person would: move,
// press, release, let frames pass, look at the frame, listen to the sounds.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/game_app.h"
#include "platform/headless/headless_platform.h"
#include "play/play_scene.h"
#include "scenes/title_scene.h"
#include "world/world.h"

// `hash` with `size` more bytes mixed in, for comparing states by one number.
uint64_t MixBytes(uint64_t hash, const void* bytes, size_t size);
// A file's bytes; empty when it cannot be read.
std::vector<uint8_t> FileBytes(const std::string& path);

class TestApp {
 public:
  // Starts at the given virtual time; `prepare` may set the platform up first; Create runs (its
  // one-second pause included), full screen unless told another show command.
  explicit TestApp(uint32_t start_ms = 1000,
                   const std::function<void(platform::HeadlessPlatform&)>& prepare = nullptr,
                   int show_command = kShowFullScreen);
  bool created() const { return created_; }
  GameApp& app() { return *app_; }
  platform::HeadlessPlatform& platform() { return platform_; }
  World& world();
  PlayScene& play();
  TitleScene& title();
  Scene* current();

  // Runs loop passes until one more frame was presented (or the program stopped); false when the
  // loop ended.
  bool NextFrame();
  void Frames(int n);
  void Move(int x, int y) { platform_.MoveMouse(x, y); }
  void Press() { platform_.Press(platform::MouseButton::kLeft); }
  void Release() { platform_.Release(platform::MouseButton::kLeft); }
  // Move, press, one frame, release, one frame.
  void Click(int x, int y);
  // From the cursor's place to (x, y) in `steps` frames with the left button held.
  void Drag(int x, int y, int steps);
  // To `from`, one frame, then the drag to `to`.
  void Drag(platform::Point from, platform::Point to, int steps);
  // Clicks the tool's icon in the play space's palette.
  void ChooseTool(int index);
  // Where block `index`'s centre shows on screen.
  platform::Point Centre(int index);
  uint32_t Pixel(int x, int y) const { return platform_.FramePixel(x, y); }
  // Writes the last frame under the build's frames/ folder.
  void Save(const std::string& name) const;
  bool quit() const { return quit_; }
  // Enters the play scene through the start button, as a person would.
  void EnterPlay();
  // Called after every frame NextFrame presents.
  std::function<void()> afterFrame;

 private:
  platform::HeadlessPlatform platform_;
  std::unique_ptr<GameApp> app_;
  bool created_ = false;
  bool quit_ = false;
};
