// Everything of the play space that lives for the whole run: bodies, pick buffers, the canvas,
// the pictures of both scenes, the interface sounds and the twelve tools.
#pragma once

#include <memory>

#include "app/object_list.h"
#include "blocks/block_set.h"
#include "gfx/dib_image.h"
#include "play/grab_layer.h"
#include "play/history.h"
#include "sound/sound_manager.h"
#include "world/sprite_widget.h"
#include "world/table.h"
#include "world/tool.h"

class GameApp;

class World {
 public:
  static constexpr int kToolCount = 12;

  World() = default;
  // Sounds, widgets and tools first, then the pictures and the bodies, as they were made.
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // Loads every picture and sound of the play space and the title screen; false at the first
  // failure, with LastError() naming the file. Whatever was made stays for the destructor.
  bool Init(GameApp* owner, GraphicsDevice* device, int width, int height);

  GameApp* app = nullptr;
  OwningObjectList<Sound> sounds;
  BlockSet blockSet;
  GrabLayer grabLayer;
  History history;  // of the play space's construction, while it lasts
  Table table;
  std::unique_ptr<TitlePicture> titlePicture;
  DibImage canvas;
  DibImage doorClosedPicture;
  // The play space's short notices: saved, not saved, a file that cannot be opened.
  DibImage savedNotice;
  DibImage notSavedNotice;
  DibImage cannotOpenNotice;
  DibImage exportedNotice;
  DibImage notExportedNotice;
  std::unique_ptr<StartButton> startButton;
  std::unique_ptr<EndButton> endButton;
  Sound* selectSound = nullptr;  // views into `sounds`
  Sound* startSound = nullptr;
  Sound* selectedSound = nullptr;
  Sound* endSound = nullptr;
  Sound* doorSound = nullptr;
  std::unique_ptr<Tool> tools[kToolCount];

 private:
  bool LoadSound(const char* file, Sound** member);
};
