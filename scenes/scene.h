// A scene shows one screen of the program: updated and rendered once per frame while current.
#pragma once

#include <cstdio>
#include <cstring>

class GameApp;
class SceneManager;

class Scene {
 public:
  Scene(GameApp* owner, const char* name) : owner_(owner) {
    std::snprintf(name_, sizeof name_, "%s", name);
  }
  virtual ~Scene() = default;
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  // Loads or re-initialises the scene.
  virtual bool Load() = 0;
  // Draws one frame and presents it.
  virtual void Render(SceneManager* manager) = 0;
  // Advances one frame; returns the scene current afterwards (itself to stay).
  virtual Scene* Update(SceneManager* manager) = 0;

  const char* Name() const { return name_; }
  GameApp* Owner() const { return owner_; }

 private:
  GameApp* owner_;
  char name_[64];
};
