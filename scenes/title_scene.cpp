#include "scenes/title_scene.h"

#include "app/game_app.h"
#include "scenes/scene_manager.h"
#include "world/world.h"

namespace r = platform::render;

bool TitleScene::Load() {
  GraphicsDevice& graphics = Owner()->Graphics();
  if (!cursorPicture.LoadFromFile(graphics.Device(), "data/cursor_default.png")) return false;
  return cursorSprite.Create(&cursorPicture, &graphics);
}

Scene* TitleScene::Update(SceneManager* manager) {
  GameApp* app = Owner();
  if (!app->Running()) return this;
  World* world = app->GetWorld();
  platform::Platform& platform = app->Platform();
  if (clickAction != kNone) {
    if (++clickCountdown <= kClickDelayUpdates) return this;
    if (clickAction == kStart) {
      platform.Sleep(1000);
      clickAction = kNone;
      clickCountdown = 0;
      world->startButton->hot = false;
      world->endButton->hot = false;
      Scene* play = manager->Find("EventCreate");
      if (!play) return this;
      play->Load();
      play->Update(manager);
      return play;
    }
    platform.Sleep(2000);
    app->SetRunning(false);
    app->PostClose();
    return this;
  }
  const platform::Point cursor = platform.CursorPos();
  cursorX = cursor.x;
  cursorY = cursor.y;
  cursorShown = platform.CursorShown();
  leftBefore = leftNow;
  leftNow = platform.AsyncButtonState(platform::MouseButton::kLeft);
  world->startButton->Track(world, cursorX, cursorY);
  world->endButton->Track(world, cursorX, cursorY);
  if (leftNow != 0 && leftBefore == 0) {
    if (world->startButton->hot) {
      clickAction = kStart;
      world->startSound->Play();
    } else if (world->endButton->hot) {
      clickAction = kEnd;
      world->endSound->Play();
    }
  }
  return this;
}

namespace {
void AddPicture(FrameKey* key, const ImageTexture& picture) {
  const r::Texture* texture = picture.Texture();
  key->Add(texture);
  key->Add(texture ? texture->Version() : 0);
  key->Add(picture.Width());
}
}  // namespace

void TitleScene::Render(SceneManager* /*manager*/) {
  GameApp* app = Owner();
  if (!app->Running()) return;
  World* world = app->GetWorld();
  r::RenderDevice* device = app->Graphics().Device();
  frameKey.Clear();
  frameKey.Add('T');
  frameKey.Add(cursorX);
  frameKey.Add(cursorY);
  frameKey.Add(cursorShown);
  AddPicture(&frameKey, world->titlePicture->picture);
  AddPicture(&frameKey, cursorPicture);
  for (const Button* button : {static_cast<const Button*>(world->startButton.get()),
                               static_cast<const Button*>(world->endButton.get())}) {
    AddPicture(&frameKey, button->onImage);
    frameKey.Add(button->hot);
    frameKey.Add(button->position);
  }
  if (app->Graphics().CanReuseFrame(frameKey)) {
    app->Graphics().PresentFrame(frameKey);
    return;
  }
  // An opaque picture drawn whole at its size hides the white under it: only the strips beside
  // it are cleared.
  TitlePicture& title = *world->titlePicture;
  const int left = (title.screenWidth - title.picture.Width()) / 2;
  const int right = left + title.picture.Width();
  const r::Texture* picture = title.picture.Texture();
  if (title.Opaque() && picture->Width() == title.picture.Width() &&
      picture->Height() >= device->GetBackBuffer()->Height()) {
    const r::Rect strips[2] = {
        {0, 0, left, device->GetBackBuffer()->Height()},
        {right, 0, device->GetBackBuffer()->Width(), device->GetBackBuffer()->Height()}};
    device->Clear(strips, 2, r::kClearTarget, 0xFFFFFFFF, 1.0f);
  } else {
    device->Clear(r::kClearTarget, 0xFFFFFFFF, 1.0f, 0);
  }
  if (device->BeginScene()) {
    device->SetFVF(r::kFvfXyz | r::kFvfDiffuse | r::kFvfTex1);
    world->titlePicture->Draw(device);
    world->startButton->DrawButton(device);
    world->endButton->DrawButton(device);
    r::Vector2 at{float(cursorX), float(cursorY)};
    if (cursorShown) cursorSprite.Draw(device, nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFF);
    device->EndScene();
  }
  app->Graphics().PresentFrame(frameKey);
}
