// The play space: a table, a hundred blocks in four glued towers, the tool palette, and the mouse
// as the only input. Entering builds the towers; every frame reads the mouse, turns and zooms the
// view and hands presses and drags to the current tool.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/block.h"
#include "blocks/math.h"
#include "gfx/frame_key.h"
#include "play/frame_bands.h"
#include "scenes/scene.h"
#include "world/tool_host.h"

class DibImage;
class GrabHandle;

class PlayScene : public Scene, public ToolHost {
 public:
  explicit PlayScene(GameApp* owner);
  bool Load() override;
  void Render(SceneManager* manager) override;
  Scene* Update(SceneManager* manager) override;

  // Drops every grab handle (and blocks left on a handled one's place); a held handle or a held
  // block that did not survive it is let go.
  void RefreshGrabLayer() override;

  // Goes on from a restored construction: the camera set as given and applied, the cursor taken
  // where it is, no press pending, and the grab handles' markers placed (a marker pressed on the
  // next frame is found).
  void ResumeAt(float resumed_pitch, float resumed_yaw, float resumed_zoom);

  // Ends a held drag or stroke as a release would, before the history moves (an undo chooses
  // the tool under the cursor as the release would; a save or an opened file chooses nothing);
  // the rest of it, until the button comes up, does nothing.
  void EndHeldGesture(bool choose_tool);
  // Set when a gesture may have changed the construction (a release, handles dropped by a right
  // turn): the history takes a look after the update. Set by entering: the history starts anew.
  bool historyDue = false;
  bool entered = false;

  // Shows one of the world's notices over the picture for a few seconds.
  void ShowNotice(const DibImage* picture);
  const DibImage* Notice() const { return notice; }
  // The picture as drawn now, without the palette, the cursor and any notice: 0x00RRGGBB,
  // width x height. The next frame is drawn anew.
  bool DrawPicture(std::vector<uint32_t>* pixels, int* width, int* height);

  // M = T . S . Ry . Rx: move 20 down, scale by zoom, turn by yaw about y, tilt about x.
  static Mat4 CameraMatrix(double tilt_radians, float yaw_degrees, float zoom);

  Block* heldBody = nullptr;
  GrabHandle* heldHandle = nullptr;
  int grabOffsetX = 0;
  int grabOffsetY = 0;
  int previousCursorX = 0;
  int previousCursorY = 0;
  Mat4 worldMatrix;
  float pitch = 0.0f;  // degrees, 0..90
  float yaw = 0.0f;    // degrees, kept in 0..360
  float zoom = 0.0f;   // 4..16
  uint8_t doorPictureShown = 0;
  // Frames drawn over the kept picture of the scene, for the tests.
  int framesOverKeptScene = 0;
  // Frames drawn again only in the rows of the blocks that moved, for the tests.
  int framesInMovedRows = 0;
  // Test hook: with false, the bands clear the background of every frame themselves.
  bool clearBesidePhysics = true;

 private:
  Scene* FrameUpdate(SceneManager* manager);
  // Everything the render reads, into frameKey; left empty while the door is current (its
  // picture depends on the clock), so such frames are always drawn. What the scene under the
  // palette and the cursor is drawn from goes into sceneKey; frameKey holds only a count of the
  // scenes drawn in its place.
  void BuildFrameKey();
  void DrawFrame();
  // The notice over the picture, if one is showing.
  void DrawNotice(platform::gdi::DeviceContext* dc) const;
  // A frame whose scene is that of the last one drawn: the scene's picture put back, the palette
  // and the cursor over it.
  void DrawOverKeptScene();
  Scene* Leave(SceneManager* manager);
  // What the left button's release does: the tool under the cursor chosen (unless told not to),
  // the hold let go, the drag's last glue kept as it is, and the history asked to look.
  void Release(bool choose_tool);
  void Turn(int dx, int dy);
  // Calls the painting of one pen sample at a screen point.
  void Paint(float x, float y);

  // The buttons as read at the previous update; primed on the first update of the run so that a
  // button held at start-up is no fresh press.
  bool buttonsPrimed = false;
  int previousLeft = 0;
  int previousRight = 0;
  FrameKey frameKey;
  FrameKey sceneKey;
  // The scene's key and picture (the back buffer before the palette and the cursor) as last
  // drawn; the picture is trusted only while sceneKept.
  FrameKey drawnSceneKey;
  // How much of sceneKey comes before the blocks' part, which is last: where the rest agrees,
  // only blocks moved, and only their rows need drawing again.
  size_t sceneKeyBeforeBlocks = 0;
  std::vector<uint32_t> scenePicture;
  bool sceneKept = false;
  bool sceneUnchanged = false;  // this frame's scene is the kept one
  uint64_t scenesDrawn = 0;
  FrameBands bands;
  // Set when an undo ended a drag whose button is still down: the rest of it does nothing.
  bool ignoreUntilRelease = false;
  const DibImage* notice = nullptr;
  uint32_t noticeUntil = 0;
  bool pictureOnly = false;  // DrawFrame leaves out the palette, the cursor and the notice
  // The frame's background, the canvas under the table and the blocks. While the bodies move,
  // the second core clears it during the physics step: `backgroundJob` is then its count among
  // the second core's works (0: each band clears its own rows).
  struct BackgroundClear {
    const platform::render::RenderDevice* device = nullptr;
    platform::render::RenderDevice::Background picture;
    int rows = 0;
    static void Run(void* clear);  // the whole screen, for the second core
  };
  void SetBackground();
  BackgroundClear background;
  uint64_t backgroundJob = 0;
};
