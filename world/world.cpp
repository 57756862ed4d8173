#include "world/world.h"

#include <cstdio>
#include <string>

#include "app/game_app.h"

World::~World() {
  // The second core may still be filling the pick buffer from the table and the blocks: the
  // table goes before the block set, whose own destructor would wait too late.
  blockSet.FinishPickRefresh();
  sounds.RemoveAll();
  titlePicture.reset();
  startButton.reset();
  endButton.reset();
  for (auto& tool : tools) tool.reset();
  // The remaining members go in reverse order of declaration: door picture, canvas, table,
  // grab layer, block set, then the empty sound list.
}

bool World::LoadSound(const char* file, Sound** member) {
  auto sound = std::make_unique<Sound>();
  if (!sound->Load(app->Sounds(), file, platform::audio::PlayKind::kInterface)) return false;
  *member = sound.get();
  sounds.Add(sound.release());
  return true;
}

bool World::Init(GameApp* owner, GraphicsDevice* device, int width, int height) {
  app = owner;
  owner->Platform().Random().Seed(owner->Platform().TimeMs());
  platform::gdi::DeviceContext window_dc;  // the window's own context
  table.Init(window_dc, device->Device());
  blockSet.Initialise(owner, width, height);
  grabLayer.Initialise(owner, &blockSet, width, height);
  if (!canvas.CreateDib(window_dc, width, height, 24)) return false;
  if (!doorClosedPicture.LoadBmpFile("data/door_close.bmp")) return false;
  if (!savedNotice.LoadBmpFile("data/notice_saved.bmp") ||
      !notSavedNotice.LoadBmpFile("data/notice_not_saved.bmp") ||
      !cannotOpenNotice.LoadBmpFile("data/notice_cannot_open.bmp") ||
      !exportedNotice.LoadBmpFile("data/notice_exported.bmp") ||
      !notExportedNotice.LoadBmpFile("data/notice_not_exported.bmp"))
    return false;

  titlePicture = std::make_unique<TitlePicture>();
  if (!titlePicture->Load(device, 640, 480)) return false;
  startButton = std::make_unique<StartButton>();
  if (!startButton->Load(device)) return false;
  endButton = std::make_unique<EndButton>();
  if (!endButton->Load(device)) return false;

  if (!LoadSound("data/select.wav", &selectSound) ||
      !LoadSound("data/selected.wav", &selectedSound) ||
      !LoadSound("data/start.wav", &startSound) || !LoadSound("data/end.wav", &endSound) ||
      !LoadSound("data/door.wav", &doorSound))
    return false;
  // The blocks load these as the play scene builds them and carry on silent without them, so a
  // broken one does not stop start-up; it is named once here. The loader keeps each decoded
  // file, so the blocks later share these buffers.
  for (int i = 1; i <= 5; ++i) {
    Sound probe;
    if (!probe.Load(app->Sounds(), "data/collision" + std::to_string(i) + ".wav"))
      std::fprintf(stderr, "zentrova: warning: %s; blocks stay silent there\n",
                   platform::LastError().c_str());
  }

  // One at a time: a failure leaves the later tools unmade.
  using Maker = std::unique_ptr<Tool> (*)();
  static const Maker kMakers[kToolCount] = {
      [] { return std::unique_ptr<Tool>(new HandTool); },
      [] { return std::unique_ptr<Tool>(new RotateTool); },
      [] { return std::unique_ptr<Tool>(new ZoomTool); },
      [] { return std::unique_ptr<Tool>(new DoorTool); },
      [] { return std::unique_ptr<Tool>(new RedPenTool); },
      [] { return std::unique_ptr<Tool>(new GreenPenTool); },
      [] { return std::unique_ptr<Tool>(new BluePenTool); },
      [] { return std::unique_ptr<Tool>(new CyanPenTool); },
      [] { return std::unique_ptr<Tool>(new MagentaPenTool); },
      [] { return std::unique_ptr<Tool>(new YellowPenTool); },
      [] { return std::unique_ptr<Tool>(new WhitePenTool); },
      [] { return std::unique_ptr<Tool>(new GrayPenTool); },
  };
  for (int i = 0; i < kToolCount; ++i) {
    tools[i] = kMakers[i]();
    if (!tools[i]->Load(device)) return false;
  }
  return true;
}
