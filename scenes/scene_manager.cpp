#include "scenes/scene_manager.h"

#include <cstring>
#include <memory>

bool SceneManager::Init(GameApp* app, std::unique_ptr<Scene> title, std::unique_ptr<Scene> play) {
  owner_ = app;
  if (!title->Load()) return false;
  current_ = title.get();
  Add(title.release());
  if (!play->Load()) return false;
  Add(play.release());
  return true;
}

void SceneManager::Update() {
  if (!current_) return;
  Scene* next = current_->Update(this);
  if (next) current_ = next;
}

void SceneManager::Render() {
  if (current_) current_->Render(this);
}

Scene* SceneManager::Find(const char* name) const {
  for (int i = 0; i < Count(); ++i)
    if (std::strcmp(At(i)->Name(), name) == 0) return At(i);
  return nullptr;
}
