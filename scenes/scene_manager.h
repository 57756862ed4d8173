// Owns the two scenes, knows the current one and hands it the frame's update and render.
#pragma once

#include <memory>

#include "app/object_list.h"
#include "scenes/scene.h"

class SceneManager : public OwningObjectList<Scene> {
 public:
  // Takes and loads the title scene (current) and the play scene, in that order. The scenes are
  // made by the application, which knows them all; the manager knows only what a scene is.
  bool Init(GameApp* app, std::unique_ptr<Scene> title, std::unique_ptr<Scene> play);
  // The current scene becomes what its Update returns; a null result keeps it current.
  void Update();
  void Render();
  // The first scene whose name matches exactly, or null; the list's Find by object stays.
  using OwningObjectList<Scene>::Find;
  Scene* Find(const char* name) const;
  Scene* Current() const { return current_; }
  // Makes one of the manager's scenes current, outside the scenes' own updates.
  void SetCurrent(Scene* scene) { current_ = scene; }

 private:
  GameApp* owner_ = nullptr;
  Scene* current_ = nullptr;
};
