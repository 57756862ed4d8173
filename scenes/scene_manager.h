// Owns the two scenes, knows the current one and hands it the frame's update and render.
#pragma once

#include "app/object_list.h"
#include "scenes/scene.h"

class SceneManager : public OwningObjectList<Scene> {
 public:
  // Creates and loads the title scene (current) and the play scene, in that order.
  bool Init(GameApp* app);
  // The current scene becomes what its Update returns; a null result keeps it current.
  void Update();
  void Render();
  // The first scene whose name matches exactly, or null; the list's Find by object stays.
  using OwningObjectList<Scene>::Find;
  Scene* Find(const char* name) const;
  Scene* Current() const { return current_; }

 private:
  GameApp* owner_ = nullptr;
  Scene* current_ = nullptr;
};
