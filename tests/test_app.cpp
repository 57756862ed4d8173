#include "test_app.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "blocks/block_set.h"
#include "play/play_scene.h"
#include "scenes/scene_manager.h"
#include "scenes/title_scene.h"
#include "world/world.h"

#ifndef ZENTROVA_OUTPUT_DIR
#define ZENTROVA_OUTPUT_DIR "frames"
#endif

uint64_t MixBytes(uint64_t hash, const void* bytes, size_t size) {
  const std::string_view view(static_cast<const char*>(bytes), size);
  return hash * 0x100000001B3ull ^ std::hash<std::string_view>()(view);
}

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TestApp::TestApp(uint32_t start_ms, const std::function<void(platform::HeadlessPlatform&)>& prepare,
                 int show_command)
    : platform_(start_ms) {
  if (prepare) prepare(platform_);
  app_ = std::make_unique<GameApp>(&platform_);
  created_ = app_->Create(show_command);
}

World& TestApp::world() {
  return *app_->GetWorld();
}
PlayScene& TestApp::play() {
  return *static_cast<PlayScene*>(app_->Scenes()->Find("EventCreate"));
}
TitleScene& TestApp::title() {
  return *static_cast<TitleScene*>(app_->Scenes()->Find("EventTitle"));
}
Scene* TestApp::current() {
  return app_->Scenes() ? app_->Scenes()->Current() : nullptr;
}

bool TestApp::NextFrame() {
  const int before = platform_.FramesPresented();
  for (int pass = 0; pass < 1000 && !quit_; ++pass) {
    if (!app_->Pump()) {
      quit_ = true;
      return false;
    }
    if (platform_.FramesPresented() != before) {
      if (afterFrame) afterFrame();
      return true;
    }
  }
  return false;
}

void TestApp::Frames(int n) {
  for (int i = 0; i < n; ++i) NextFrame();
}

void TestApp::Click(int x, int y) {
  Move(x, y);
  Press();
  NextFrame();
  Release();
  NextFrame();
}

void TestApp::Drag(int x, int y, int steps) {
  platform::Point from = platform_.CursorPos();
  Press();
  NextFrame();
  for (int i = 1; i <= steps; ++i) {
    Move(from.x + (x - from.x) * i / steps, from.y + (y - from.y) * i / steps);
    NextFrame();
  }
  Release();
  NextFrame();
}

void TestApp::Drag(platform::Point from, platform::Point to, int steps) {
  Move(from.x, from.y);
  NextFrame();
  Drag(to.x, to.y, steps);
}

void TestApp::ChooseTool(int index) {
  const Tool* tool = world().tools[size_t(index)].get();
  Click(int(tool->x) + 24, int(tool->y) + 24);
}

platform::Point TestApp::Centre(int index) {
  const BlockSet& set = world().blockSet;
  const ScreenPoint s =
      ProjectToScreen(set.At(index)->centre, set.ScreenMatrix(app_->Graphics().Device()));
  return {int(s.x), int(s.y)};
}

void TestApp::Save(const std::string& name) const {
  std::filesystem::create_directories(ZENTROVA_OUTPUT_DIR);
  platform_.WriteFramePng(std::string(ZENTROVA_OUTPUT_DIR) + "/" + name + ".png");
}

void TestApp::EnterPlay() {
  NextFrame();
  Click(150, 370);
  Frames(12);
}
