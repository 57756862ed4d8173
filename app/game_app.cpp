#include "app/game_app.h"

#include <cstdio>

#include "play/construction_keeper.h"
#include "play/play_scene.h"
#include "scenes/scene_manager.h"
#include "scenes/title_scene.h"
#include "world/world.h"

namespace {
constexpr int kWidth = 640;
constexpr int kHeight = 480;
// A frame runs only when more than this many milliseconds passed since the last one.
constexpr uint32_t kFrameGapMs = 20;
}  // namespace

GameApp::GameApp(platform::Platform* platform) : AppWindow(platform) {}

GameApp::~GameApp() {
  running_ = false;
  world_.reset();
  scene_manager_.reset();
  sound_manager_.Shutdown();
}

bool GameApp::Fail(const char* step) {
  // The platform's reason names the file or the service and says what is wrong with it; the step
  // is only for a failure that gave none.
  failure_ = platform::LastError().empty() ? step : platform::LastError();
  return false;
}

bool GameApp::Create(int show_command) {
  platform::SetLastError("");
  if (!CreateMainWindow(show_command, "Zentrova", "Zentrova", 1, kWidth, kHeight))
    return Fail("cannot open its window");
  if (!graphics_.Create(&Platform(), kWidth, kHeight, show_command != kShowFullScreen))
    return Fail("cannot draw: no graphics device is available");
  if (!sound_manager_.Init(&Platform())) return Fail("cannot start its sound");
  world_ = std::make_unique<World>();
  if (!world_->Init(this, &graphics_, kWidth, kHeight))
    return Fail("cannot load its pictures and sounds");
  scene_manager_ = std::make_unique<SceneManager>();
  if (!scene_manager_->Init(this, std::make_unique<TitleScene>(this),
                            std::make_unique<PlayScene>(this)))
    return Fail("cannot load its pictures");
  RemoveStaleSaves(*this);
  Platform().SetCursorPos(kWidth / 2, kHeight / 2);
  Platform().Sleep(1000);
  return true;
}

void GameApp::Frame() {
  if (!running_) return;
  if (!clock_started_) {
    now_ = last_frame_ = Platform().TimeMs();
    clock_started_ = true;
  }
  now_ = Platform().TimeMs();
  if (now_ - last_frame_ <= kFrameGapMs) return;  // unsigned: right across the wrap
  const uint64_t start_us = frame_times_ ? Platform().TimeUs() : 0;
  scene_manager_->Update();
  KeepHistory(*this);
  if (running_) {
    scene_manager_->Render();
    last_frame_ = now_;
    if (frame_times_) frame_times_->Add(Platform().TimeUs() - start_us);
  }
}

uint32_t GameApp::MsUntilFrameDue() {
  if (!running_) return 100;
  if (!clock_started_) return 0;
  uint32_t elapsed = Platform().TimeMs() - last_frame_;
  return elapsed > kFrameGapMs ? 0 : kFrameGapMs + 1 - elapsed;
}

intptr_t GameApp::WindowProc(platform::Message message) {
  if (message == platform::Message::kSaveKey && running_ && InPlaySpace(*this)) {
    std::string written;
    SaveToPictures(*this, &written);
  }
  if (message == platform::Message::kExportKey && running_ && InPlaySpace(*this)) {
    std::string written;
    ExportToPictures(*this, &written);
  }
  if ((message == platform::Message::kUndo || message == platform::Message::kRedo) && running_ &&
      InPlaySpace(*this)) {
    message == platform::Message::kUndo ? Undo(*this) : Redo(*this);
  }
  if (message == platform::Message::kFileDropped) {
    const std::string path = Platform().TakeDroppedFile();
    std::string why;
    if (running_ && world_ && !path.empty()) OpenConstruction(*this, path, &why);
  }
  // Leaving the play space by closing the window (Alt+F4, the window's button, SIGTERM) keeps
  // the construction for --continue.
  if (message == platform::Message::kClose && running_ && InPlaySpace(*this)) {
    std::string why;
    if (!KeepLast(*this, &why))
      std::fprintf(stderr, "zentrova: the construction was not kept: %s\n", why.c_str());
  }
  if (message == platform::Message::kDestroy) {
    running_ = false;
    world_.reset();
    scene_manager_.reset();
    sound_manager_.Shutdown();
    PostQuitMessage(0);
  }
  return DefWindowProc(message);
}
