#include "play/construction_keeper.h"

#include <cstdio>
#include <vector>

#include "app/game_app.h"
#include "platform/safe_file.h"
#include "platform/user_folders.h"
#include "play/construction_file.h"
#include "play/play_scene.h"
#include "play/snapshot.h"
#include "scenes/scene_manager.h"
#include "world/world.h"

namespace {

PlayScene* Play(const GameApp& app) {
  return app.Scenes() ? static_cast<PlayScene*>(app.Scenes()->Find("EventCreate")) : nullptr;
}

platform::Environment EnvironmentOf(GameApp& app) {
  platform::Platform* platform = &app.Platform();
  return [platform](const char* name) { return platform->Environment(name); };
}

// The picture and the construction of the play space as a PNG file's bytes.
bool MakeFile(GameApp& app, std::vector<uint8_t>* png, std::string* why) {
  PlayScene* play = Play(app);
  World* world = app.GetWorld();
  if (!play || !world) {
    *why = "nothing to save";
    return false;
  }
  std::vector<uint32_t> picture;
  int width = 0, height = 0;
  if (!play->DrawPicture(&picture, &width, &height)) {
    *why = "cannot draw the picture";
    return false;
  }
  return MakeConstructionPng(TakeSnapshot(*world, *play), picture.data(), width, height, png, why);
}

bool WriteInto(const std::string& folder, const std::string& name, const std::vector<uint8_t>& png,
               platform::ExistingFile mode, std::string* written, std::string* why) {
  if (folder.empty()) {
    *why = "no home folder to save in (HOME is not set)";
    return false;
  }
  return platform::MakeFolders(folder, why) &&
         platform::WriteFileSafely(folder + "/" + name, png.data(), png.size(), mode, written, why);
}

}  // namespace

bool InPlaySpace(const GameApp& app) {
  const PlayScene* play = Play(app);
  return play && app.Scenes()->Current() == play;
}

bool SaveToPictures(GameApp& app, std::string* written) {
  std::vector<uint8_t> png;
  std::string why;
  const platform::LocalTime t = app.Platform().LocalNow();
  char name[64];
  std::snprintf(name, sizeof name, "zentrova-%04d%02d%02d-%02d%02d%02d.png", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  const bool saved =
      MakeFile(app, &png, &why) && WriteInto(platform::PicturesFolder(EnvironmentOf(app)), name,
                                             png, platform::ExistingFile::kKeep, written, &why);
  World* world = app.GetWorld();
  PlayScene* play = Play(app);
  if (saved) {
    std::fprintf(stderr, "zentrova: saved %s\n", written->c_str());
    if (world->selectedSound) world->selectedSound->Play();
  } else {
    std::fprintf(stderr, "zentrova: not saved: %s\n", why.c_str());
  }
  if (play) play->ShowNotice(saved ? &world->savedNotice : &world->notSavedNotice);
  return saved;
}

std::string LastConstructionPath(GameApp& app) {
  const std::string folder = platform::StateFolder(EnvironmentOf(app));
  return folder.empty() ? "" : folder + "/last.png";
}

bool KeepLast(GameApp& app, std::string* why) {
  std::vector<uint8_t> png;
  std::string written;
  return MakeFile(app, &png, why) &&
         WriteInto(platform::StateFolder(EnvironmentOf(app)), "last.png", png,
                   platform::ExistingFile::kReplace, &written, why);
}

bool OpenConstruction(GameApp& app, const std::string& path, std::string* why) {
  PlayScene* play = Play(app);
  World* world = app.GetWorld();
  Snapshot snapshot;
  // Read and checked whole before anything changes.
  if (!play || !world || !LoadConstructionFile(path, &snapshot, why)) {
    std::fprintf(stderr, "zentrova: cannot open %s\n", why->c_str());
    if (play && InPlaySpace(app)) play->ShowNotice(&world->cannotOpenNotice);
    return false;
  }
  if (!InPlaySpace(app)) {
    play->Load();
    app.Scenes()->SetCurrent(play);
  }
  return RestoreSnapshot(snapshot, world, play, why);
}
