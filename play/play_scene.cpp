#include "play/play_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/game_app.h"
#include "scenes/scene_manager.h"
#include "world/palette.h"
#include "world/world.h"

namespace r = platform::render;

namespace {
constexpr float kDegreesToRadians = 0.017453289f;
// The 30-degree tilt of the starting view, given exactly.
constexpr double kStartTilt = 0.5235986709594728;
constexpr float kTurnPerPixel = 0.5f;
constexpr float kZoomPerPixel = 0.02f;
constexpr int kTowerBlocks = 25;
constexpr float kTowerBases[4] = {-6.0f, -2.0f, 2.0f, 6.0f};
constexpr uint32_t kNoticeMs = 2500;
}  // namespace

PlayScene::PlayScene(GameApp* owner) : Scene(owner, "EventCreate") {}

Mat4 PlayScene::CameraMatrix(double tilt_radians, float yaw_degrees, float zoom_factor) {
  Mat4 t, s, ry, rx, m;
  Identity(t);
  t.At(3, 1) = -20.0f;
  Identity(s);
  s.At(0, 0) = s.At(1, 1) = s.At(2, 2) = zoom_factor;
  const float yaw_radians = yaw_degrees * kDegreesToRadians;
  const float cy = float(std::cos(double(yaw_radians))), sy = float(std::sin(double(yaw_radians)));
  Identity(ry);
  ry.At(0, 0) = cy, ry.At(0, 2) = -sy;
  ry.At(2, 0) = sy, ry.At(2, 2) = cy;
  const float cx = float(std::cos(tilt_radians)), sx = float(std::sin(tilt_radians));
  Identity(rx);
  rx.At(1, 1) = cx, rx.At(1, 2) = sx;
  rx.At(2, 1) = -sx, rx.At(2, 2) = cx;
  Multiply(m, t, s);
  Multiply(m, m, ry);
  Multiply(m, m, rx);
  return m;
}

bool PlayScene::Load() {
  GameApp* app = Owner();
  World* world = app->GetWorld();
  r::RenderDevice* device = app->Graphics().Device();
  platform::Platform& platform = app->Platform();
  platform::gdi::DeviceContext dc;  // the window's

  pitch = 30.0f;
  yaw = 225.0f;
  zoom = 8.0f;
  device->SetTransform(r::TransformType::kWorld,
                       ToDeviceMatrix(CameraMatrix(kStartTilt, yaw, zoom)));
  BlockSet& blocks = world->blockSet;
  blocks.ClearPickBuffers();

  Table& table = world->table;
  if (DibImage* paint = table.texture.Backing()) {
    std::fill(paint->Buffer().begin(), paint->Buffer().end(), uint8_t(255));
    table.texture.Upload(0, 0, 240, 240);
  }
  if (uint8_t* canvas = world->canvas.DibBits())
    std::fill(canvas, canvas + size_t(world->canvas.Width()) * world->canvas.Height() * 3,
              uint8_t(255));
  heldBody = nullptr;
  blocks.RemoveAll();

  const Vec3 size{2.0f, 2.0f, 2.0f};
  platform::PortableRand& random = platform.Random();
  for (float base : kTowerBases) {
    for (int i = 0; i < 2 * kTowerBlocks; i += 2) {
      Vec3 centre;
      centre.x = base + float(random.Next() % 100) * 0.001f;
      centre.y = float(i + 1);
      centre.z = float(random.Next() % 100) * 0.001f;
      blocks.AddBlock(dc, device, app->Sounds(), centre, size);
    }
  }
  // Each block's top face is glued to the bottom face of the one above it in its tower.
  for (int tower = 0; tower < 4; ++tower) {
    for (int n = tower * kTowerBlocks; n < (tower + 1) * kTowerBlocks - 1; ++n) {
      Face& top = blocks.At(n)->faces[1];
      Face& bottom = blocks.At(n + 1)->faces[0];
      top.link = &bottom;
      bottom.link = &top;
    }
  }
  blocks.settleCheck = 0;

  const platform::Point cursor = platform.CursorPos();
  cursorX = previousCursorX = cursor.x;
  cursorY = previousCursorY = cursor.y;
  table.PlaceAt({0.0f, 0.0f, 0.0f});
  currentTool = world->tools[0].get();
  doorPictureShown = 0;
  notice = nullptr;
  ignoreUntilRelease = false;
  entered = true;
  return true;
}

void PlayScene::EndHeldGesture(bool choose_tool) {
  if (previousLeft == 0 || ignoreUntilRelease) return;
  Release(choose_tool);
  ignoreUntilRelease = true;
}

void PlayScene::Release(bool choose_tool) {
  World* world = Owner()->GetWorld();
  if (choose_tool) ChooseTool(world, this, Owner()->Platform().TimeMs());
  heldHandle = nullptr;
  heldBody = nullptr;
  world->blockSet.EndDrag();
  historyDue = true;
}

void PlayScene::ResumeAt(float resumed_pitch, float resumed_yaw, float resumed_zoom) {
  GameApp* app = Owner();
  World* world = app->GetWorld();
  r::RenderDevice* device = app->Graphics().Device();
  pitch = resumed_pitch;
  yaw = resumed_yaw;
  zoom = resumed_zoom;
  worldMatrix = CameraMatrix(double(pitch * kDegreesToRadians), yaw, zoom);
  device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(worldMatrix));
  const platform::Point cursor = app->Platform().CursorPos();
  cursorX = previousCursorX = cursor.x;
  cursorY = previousCursorY = cursor.y;
  buttonsPrimed = false;
  doorPictureShown = 0;
  // The markers are drawn into the frame, which fills the handle map; the frame after a restore
  // is drawn anew, so these pixels do not last.
  if (world->grabLayer.Count() > 0) {
    world->blockSet.RefreshPickBuffer(device, nullptr);
    world->grabLayer.Overlay(device, device->GetBackBuffer());
  }
}

void PlayScene::ShowNotice(const DibImage* picture) {
  notice = picture;
  noticeUntil = Owner()->Platform().TimeMs() + kNoticeMs;
}

Scene* PlayScene::Update(SceneManager* manager) {
  GameApp* app = Owner();
  if (!app->Running()) return this;
  Scene* next = FrameUpdate(manager);
  app->Graphics().Device()->ShowCursor(false);
  return next;
}

Scene* PlayScene::Leave(SceneManager* manager) {
  GameApp* app = Owner();
  World* world = app->GetWorld();
  BlockSet& blocks = world->blockSet;
  r::RenderDevice* device = app->Graphics().Device();
  // The step's pick refresh reads the camera from the device, which a reset after the last
  // frame has put back to rest.
  device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(worldMatrix));
  if (doorPictureShown || !clearBesidePhysics) {
    blocks.Step(device, nullptr);
  } else {
    // A frame follows: its background depends on no body, so it is cleared beside the physics.
    SetBackground();
    backgroundJob = blocks.Step(device, nullptr, &BackgroundClear::Run, &background);
  }
  if (!doorPictureShown) return this;
  world->doorSound->Play();
  app->Platform().Sleep(1000);
  for (int i = 0; i < manager->Count(); ++i)
    if (std::strcmp(manager->At(i)->Name(), "EventTitle") == 0) return manager->At(i);
  return nullptr;
}

void PlayScene::RefreshGrabLayer() {
  World* world = Owner()->GetWorld();
  world->grabLayer.Refresh(Owner()->Graphics().Device());
  // The refresh destroys every handle and may remove blocks: a hold on either ends here.
  heldHandle = nullptr;
  if (heldBody && heldBody != &world->table && world->blockSet.Find(heldBody) < 0) {
    heldBody = nullptr;
    world->blockSet.EndDrag();
  }
}

void PlayScene::Turn(int dx, int dy) {
  yaw = yaw - kTurnPerPixel * float(dx);
  pitch = pitch + kTurnPerPixel * float(dy);
  if (pitch < 0.0f) pitch = 0.0f;
  if (pitch > 90.0f) pitch = 90.0f;
  // Corrected once per turn: a single huge move may stay outside 0..360 until the next.
  if (yaw < 0.0f) yaw += 360.0f;
  if (yaw > 360.0f) yaw -= 360.0f;
}

void PlayScene::Paint(float x, float y) {
  GameApp* app = Owner();
  app->GetWorld()->blockSet.PaintAt(app->Graphics().Device(), x, y, penColour, zoom);
}

Scene* PlayScene::FrameUpdate(SceneManager* manager) {
  Owner()->GetWorld()->blockSet.FinishPickRefresh();  // nothing moves while it is filled
  backgroundJob = 0;
  if (currentTool && currentTool->type == Tool::kDoor) return Leave(manager);
  GameApp* app = Owner();
  World* world = app->GetWorld();
  platform::Platform& platform = app->Platform();
  r::RenderDevice* device = app->Graphics().Device();

  if (notice && int32_t(platform.TimeMs() - noticeUntil) >= 0) notice = nullptr;
  const platform::Point cursor = platform.CursorPos();
  cursorX = cursor.x;
  cursorY = cursor.y;
  cursorShown = platform.CursorShown();
  const int left = platform.AsyncButtonState(platform::MouseButton::kLeft);
  const int right = platform.AsyncButtonState(platform::MouseButton::kRight);
  if (!buttonsPrimed) {
    previousLeft = left;
    previousRight = right;
    buttonsPrimed = true;
  }

  worldMatrix = CameraMatrix(double(pitch * kDegreesToRadians), yaw, zoom);
  device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(worldMatrix));

  const bool on_palette = TrackPalette(world, this, cursorX, cursorY, left, right);

  if (currentTool && left != 0 && previousLeft == 0 && !on_palette) {
    if (currentTool->type == Tool::kPen) Paint(float(cursorX), float(cursorY));
    if (currentTool->type == Tool::kHand) {
      heldHandle = world->grabLayer.Press(device, cursorX, cursorY);
      if (!heldHandle)
        heldBody = world->blockSet.Grab(device, cursorX, cursorY, &grabOffsetX, &grabOffsetY);
    }
  }

  const int dx = cursorX - previousCursorX;
  const int dy = cursorY - previousCursorY;
  const bool moved = dx != 0 || dy != 0;
  if (left == 0 && previousLeft != 0) {
    // A drag that an undo ended was released then: this release chooses nothing again.
    Release(!ignoreUntilRelease);
    ignoreUntilRelease = false;
  } else if (currentTool) {
    if (left != 0 && moved && ignoreUntilRelease) {
      // The rest of a drag that an undo ended.
    } else if (left != 0 && moved) {
      switch (currentTool->type) {
        case Tool::kPen: {
          // Four samples per pixel of the longer axis, from the previous point up to (not
          // including) the current one, which starts the next frame's stroke.
          const int n = int(4.0f * float(std::max(std::abs(dx), std::abs(dy))));
          if (n == 0) break;
          const float step_x = float(dx) / float(n), step_y = float(dy) / float(n);
          for (int j = 0; j < n; ++j)
            Paint(float(previousCursorX) + float(j) * step_x,
                  float(previousCursorY) + float(j) * step_y);
          break;
        }
        case Tool::kRotate:
          Turn(dx, dy);
          break;
        case Tool::kZoom:
          zoom = zoom - kZoomPerPixel * float(dy);
          if (zoom > 16.0f) zoom = 16.0f;
          if (zoom < 4.0f) zoom = 4.0f;
          break;
        case Tool::kHand:
          if (heldBody)
            world->blockSet.DragBody(device, heldBody, cursorX, cursorY, grabOffsetX, grabOffsetY,
                                     pitch);
          if (heldHandle) {
            world->grabLayer.Drag(device, heldHandle, cursorX, cursorY);
            world->blockSet.supportQuad = &world->grabLayer.quad;
          }
          break;
        default:  // types 1 and 2 do nothing
          break;
      }
    } else if (right != 0 && moved) {
      const bool handles = world->grabLayer.Count() > 0;
      RefreshGrabLayer();
      historyDue = historyDue || handles;  // dropping handles may have removed blocks
      Turn(dx, dy);
    }
  }

  world->blockSet.Step(device, heldBody);
  previousLeft = left;
  previousRight = right;
  previousCursorX = cursorX;
  previousCursorY = cursorY;
  return this;
}
