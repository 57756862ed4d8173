#include "scenes/scene_manager.h"

#include <cstring>
#include <memory>

#include "play/play_scene.h"
#include "scenes/title_scene.h"

bool SceneManager::Init(GameApp* app) {
  owner_ = app;
  auto title = std::make_unique<TitleScene>(app);
  if (!title->Load()) return false;
  current_ = title.get();
  Add(title.release());
  auto play = std::make_unique<PlayScene>(app);
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
