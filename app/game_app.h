// The one object that owns the running program: window, graphics device, sound, world and scenes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/app_window.h"
#include "app/frame_times.h"
#include "gfx/graphics_device.h"
#include "sound/sound_manager.h"

class World;
class SceneManager;

class GameApp : public AppWindow {
 public:
  explicit GameApp(platform::Platform* platform);
  ~GameApp() override;

  // Builds everything in order; false at the first step that fails, with FailureReason() set.
  bool Create(int show_command);
  void Frame() override;
  intptr_t WindowProc(platform::Message message) override;
  uint32_t MsUntilFrameDue() override;

  bool Running() const { return running_; }
  void SetRunning(bool running) { running_ = running; }
  GraphicsDevice& Graphics() { return graphics_; }
  SoundManager& Sounds() { return sound_manager_; }
  World* GetWorld() const { return world_.get(); }
  SceneManager* Scenes() const { return scene_manager_.get(); }
  // What made Create fail, naming the file where a file was at fault.
  const std::string& FailureReason() const { return failure_; }
  // From now on every frame's update and render is timed (--frame-times); null until asked.
  void RecordFrameTimes() { frame_times_ = std::make_unique<FrameTimes>(); }
  const FrameTimes* RecordedFrameTimes() const { return frame_times_.get(); }

 private:
  bool Fail(const char* step);

  bool running_ = true;
  GraphicsDevice graphics_;
  SoundManager sound_manager_;
  std::unique_ptr<World> world_;
  std::unique_ptr<SceneManager> scene_manager_;
  // The frame clock: both readings start equal on the first Frame.
  bool clock_started_ = false;
  uint32_t now_ = 0;
  uint32_t last_frame_ = 0;
  std::unique_ptr<FrameTimes> frame_times_;
  std::string failure_;
};
