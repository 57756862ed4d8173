// The first screen: the title picture, the start and end buttons and the program's own cursor.
#pragma once

#include "gfx/frame_key.h"
#include "gfx/image_texture.h"
#include "scenes/scene.h"
#include "world/sprite_widget.h"

class TitleScene : public Scene {
 public:
  static constexpr int kNone = 0;
  static constexpr int kStart = 1;
  static constexpr int kEnd = 2;
  // A click is carried out on the update after this many more (about 231 ms at 21 ms a frame).
  static constexpr int kClickDelayUpdates = 10;

  explicit TitleScene(GameApp* owner) : Scene(owner, "EventTitle") {}
  bool Load() override;
  void Render(SceneManager* manager) override;
  Scene* Update(SceneManager* manager) override;

  int ClickAction() const { return clickAction; }

 private:
  int cursorX = 0;
  int cursorY = 0;
  bool cursorShown = true;  // false while the desktop's pointer shows instead (off the picture)
  int clickAction = kNone;
  int clickCountdown = 0;
  ImageTexture cursorPicture;
  SpriteWidget cursorSprite;  // destroyed before the picture it draws
  // The left button at this update and the previous one.
  int leftNow = 0;
  int leftBefore = 0;
  // What the frame is drawn from: the cursor, the lit buttons and the pictures.
  FrameKey frameKey;
};
