#include "play/construction_keeper.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "app/game_app.h"
#include "app/options.h"
#include "keep/gltf_export.h"
#include "platform/safe_file.h"
#include "platform/user_folders.h"
#include "play/construction_file.h"
#include "play/play_scene.h"
#include "play/snapshot.h"
#include "scenes/scene_manager.h"
#include "world/tool.h"
#include "world/world.h"

namespace {

PlayScene* Play(const GameApp& app) {
  return app.Scenes() ? static_cast<PlayScene*>(app.Scenes()->Find("EventCreate")) : nullptr;
}

// A drag or stroke still held ends as its release would, and the history takes its step, before
// anything reads or replaces the construction: no drag's passing records are kept or saved. Only
// an undo or a redo chooses the tool under the cursor, as the release would: a key that saves
// must never choose the door.
void EndHeldGesture(GameApp& app, bool choose_tool = false) {
  PlayScene* play = Play(app);
  if (!play || !InPlaySpace(app)) return;
  play->EndHeldGesture(choose_tool);
  KeepHistory(app);
}

// What a save killed mid-write left in the folder, once no save could still be going on.
void RemoveStaleTemporaries(const std::string& folder) {
  constexpr int kStaleSeconds = 600;
  platform::RemoveStaleTemporaries(folder, {"zentrova-", "last.png"}, kStaleSeconds);
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
  EndHeldGesture(app);
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
  if (!platform::MakeFolders(folder, why)) return false;
  RemoveStaleTemporaries(folder);
  return platform::WriteFileSafely(folder + "/" + name, png.data(), png.size(), mode, written, why);
}

// A new file named after the toy and the local time, in the pictures folder; its bytes are made
// by `make`. Said on standard error and in the picture, with the selection sound when it worked.
bool WriteToPictures(GameApp& app, const char* extension,
                     const std::function<bool(std::vector<uint8_t>*, std::string*)>& make,
                     const DibImage& done, const DibImage& failed, const char* verb,
                     std::string* written) {
  std::vector<uint8_t> bytes;
  std::string why;
  const platform::LocalTime t = app.Platform().LocalNow();
  char name[64];
  std::snprintf(name, sizeof name, "zentrova-%04d%02d%02d-%02d%02d%02d.%s", t.year, t.month, t.day,
                t.hour, t.minute, t.second, extension);
  const bool ok =
      make(&bytes, &why) && WriteInto(platform::PicturesFolder(EnvironmentOf(app)), name, bytes,
                                      platform::ExistingFile::kKeep, written, &why);
  World* world = app.GetWorld();
  if (ok) {
    std::fprintf(stderr, "zentrova: %s %s\n", verb, written->c_str());
    if (world->selectedSound) world->selectedSound->Play();
  } else {
    std::fprintf(stderr, "zentrova: not %s: %s\n", verb, why.c_str());
  }
  if (PlayScene* play = Play(app)) play->ShowNotice(ok ? &done : &failed);
  return ok;
}

}  // namespace

bool InPlaySpace(const GameApp& app) {
  const PlayScene* play = Play(app);
  return play && app.Scenes()->Current() == play;
}

void EnterPlaySpace(GameApp& app) {
  if (PlayScene* play = Play(app)) {
    play->Load();
    app.Scenes()->SetCurrent(play);
  }
}

bool SaveToPictures(GameApp& app, std::string* written) {
  const World& world = *app.GetWorld();
  return WriteToPictures(
      app, "png",
      [&](std::vector<uint8_t>* png, std::string* why) { return MakeFile(app, png, why); },
      world.savedNotice, world.notSavedNotice, "saved", written);
}

bool ExportToPictures(GameApp& app, std::string* written) {
  const World& world = *app.GetWorld();
  return WriteToPictures(
      app, "glb",
      [&](std::vector<uint8_t>* glb, std::string* why) {
        EndHeldGesture(app);
        return EncodeGlb(SceneOfWorld(world), GeneratorName(), glb, why);
      },
      world.exportedNotice, world.notExportedNotice, "exported", written);
}

void RemoveStaleSaves(GameApp& app) {
  for (const std::string& folder :
       {platform::PicturesFolder(EnvironmentOf(app)), platform::StateFolder(EnvironmentOf(app))})
    if (!folder.empty()) RemoveStaleTemporaries(folder);
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

bool SaveConstructionTo(GameApp& app, const std::string& path, std::string* why) {
  std::vector<uint8_t> png;
  std::string written;
  return MakeFile(app, &png, why) &&
         platform::WriteFileSafely(path, png.data(), png.size(), platform::ExistingFile::kReplace,
                                   &written, why);
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
  if (!InPlaySpace(app)) EnterPlaySpace(app);
  EndHeldGesture(app);  // a play space just entered starts its history at the towers
  // The door closing has ended the play space and what could be undone in it: the file starts
  // it anew. Otherwise opening a file is a step a person can undo.
  const bool door = play->currentTool && play->currentTool->type == Tool::kDoor;
  if (!RestoreSnapshot(snapshot, world, play, why)) return false;
  if (door)
    play->entered = true;
  else
    play->historyDue = true;
  KeepHistory(app);
  return true;
}

void KeepHistory(GameApp& app) {
  World* world = app.GetWorld();
  PlayScene* play = Play(app);
  if (!world || !play) return;
  History& history = world->history;
  if (!InPlaySpace(app)) {
    // The door ended the play space and its history.
    if (history.UndoSteps() + history.RedoSteps() > 0) history.Reset(Snapshot());
    return;
  }
  if (!play->entered && !play->historyDue) return;
  world->blockSet.FinishPickRefresh();  // the snapshot reads what the refresh reads
  if (play->entered)
    history.Reset(TakeSnapshot(*world, *play));
  else
    history.Record(TakeSnapshot(*world, *play));
  play->entered = play->historyDue = false;
}

namespace {

bool Travel(GameApp& app, bool forward) {
  World* world = app.GetWorld();
  PlayScene* play = Play(app);
  if (!world || !play || !InPlaySpace(app)) return false;
  if (play->currentTool && play->currentTool->type == Tool::kDoor) return false;  // it has ended
  EndHeldGesture(app, true);
  if (!(forward ? world->history.Redo() : world->history.Undo())) return false;
  Snapshot& state = world->history.Current();
  // The camera, the tool and the pen stay as they are now.
  state.pitch = play->pitch, state.yaw = play->yaw, state.zoom = play->zoom;
  for (int i = 0; i < World::kToolCount; ++i)
    if (world->tools[i].get() == play->currentTool) state.tool = i;
  std::memcpy(state.pen, play->penColour, 3);
  std::string why;
  if (!RestoreSnapshot(state, world, play, &why)) return false;
  // The history keeps no screen positions: they are worked out for the camera now.
  world->grabLayer.PlaceBlocksOnScreen(app.Graphics().Device());
  if (world->selectedSound) world->selectedSound->Play();
  return true;
}

}  // namespace

bool Undo(GameApp& app) {
  return Travel(app, false);
}

bool Redo(GameApp& app) {
  return Travel(app, true);
}
