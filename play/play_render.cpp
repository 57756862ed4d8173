// The play frame in layers: white clear, the canvas as background, table and blocks, outlines
// from the pick buffer, the palette and cursor, then Present. A frame whose inputs are those of
// the picture still in the back buffer is only presented again.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "app/background_job.h"
#include "app/game_app.h"
#include "play/play_scene.h"
#include "world/palette.h"
#include "world/world.h"

namespace r = platform::render;

void PlayScene::BuildFrameKey() {
  frameKey.Clear();
  sceneKey.Clear();
  sceneUnchanged = false;
  if (currentTool && currentTool->type == Tool::kDoor) return;
  GameApp* app = Owner();
  const World* world = app->GetWorld();
  r::RenderDevice* device = app->Graphics().Device();
  r::Matrix transform;
  for (r::TransformType type :
       {r::TransformType::kWorld, r::TransformType::kView, r::TransformType::kProjection}) {
    device->GetTransform(type, &transform);
    sceneKey.Add(transform);
  }
  r::Viewport viewport;
  device->GetViewport(&viewport);
  sceneKey.Add(viewport);
  // A face's texture is set when its block is made and when it is first painted (then its own
  // is made, which the device counts as a write), and the device counts every write of a texel.
  sceneKey.Add(device->TexelWrites());
  const Table& table = world->table;
  sceneKey.Add(table.vertices);
  sceneKey.Add(table.tableCorners);
  const r::Texture* table_texture = table.texture.Texture();
  sceneKey.Add(table_texture);
  sceneKey.Add(table_texture ? table_texture->Version() : 0);
  sceneKey.Add(std::as_const(world->canvas).DibBits());
  sceneKey.Add(world->canvas.Version());
  // The blocks' shapes, and the pick buffer with the outlines and the markers, follow from the
  // transforms, the list and the corners: the front fills count their changes, looked at by
  // every frame's step before its render. The markers' anchors come last: they are drawn over the
  // kept picture, not kept in it, so a frame redrawn in the rows of moved blocks may move them.
  sceneKeyBeforeBlocks = sceneKey.Size();
  sceneKey.Add(world->blockSet.FrontFills());
  const GrabLayer& handles = world->grabLayer;
  sceneKey.Add(handles.Count());
  for (int i = 0; i < handles.Count(); ++i) sceneKey.Add(handles.At(i)->anchor);

  sceneUnchanged = sceneKept && app->Graphics().FrameReuse() && sceneKey == drawnSceneKey;
  if (!sceneUnchanged) ++scenesDrawn;
  frameKey.Add('P');
  frameKey.Add(scenesDrawn);
  frameKey.Add(currentTool);
  for (const auto& tool : world->tools) frameKey.Add(tool && tool->hot);
  frameKey.Add(cursorX);
  frameKey.Add(cursorY);
  frameKey.Add(notice);
  frameKey.Add(cursorShown);
}

void PlayScene::Render(SceneManager* /*manager*/) {
  GameApp* app = Owner();
  if (!app->Running()) return;
  BuildFrameKey();
  if (!app->Graphics().CanReuseFrame(frameKey)) {
    if (sceneUnchanged)
      DrawOverKeptScene();
    else
      DrawFrame();
  }
  app->Graphics().PresentFrame(frameKey);
  // The pick buffer's refresh ends with the frame, whether or not the frame needed it.
  app->GetWorld()->blockSet.FinishPickRefresh();
}

namespace {

using Clock = std::chrono::steady_clock;

// Rows [first_row, end_row) of a picture `width` pixels wide, `pitch` bytes a row, into `copy`
// (`width` pixels a row).
void KeepRows(uint32_t* copy, const uint8_t* bits, int pitch, int width, int first_row,
              int end_row) {
  for (int y = first_row; y < end_row; ++y)
    std::memcpy(copy + size_t(y) * width, bits + size_t(y) * pitch, size_t(width) * 4);
}

// One band of rows of the frame: the clear, the canvas, the table and the blocks kept by the
// device's scene, then the outlines, and perhaps the palette and the hand-over of the finished
// rows. Both cores run one, on rows that do not overlap.
struct RowBand {
  const r::RenderDevice* device;
  const BlockSet* blocks;
  // The background to clear to, unless the second core did it beside the physics: then the
  // band that does not run behind it waits for the first `background_job` works.
  const r::RenderDevice::Background* background;
  BackgroundJob* background_from;
  uint64_t background_job;
  uint8_t* target;  // the locked back buffer, or null
  int pitch, target_width, target_height;
  int first_row, end_row;
  // When the bands finish the frame: the palette, drawn into this band's rows only, then the
  // rows handed to the presentation.
  bool finish_frame;
  const World* world;
  const PlayScene* scene;
  bool door_picture;
  // Where the finished scene's rows are kept, before the palette goes over them (or null).
  uint32_t* scene_copy;
  // The outlines need the marks, which end the pick-buffer refresh: the band that does not
  // run behind the refresh waits for the first `marked` works of the second core.
  BackgroundJob* marks_from;
  uint64_t marked;
  Clock::time_point done;

  void Run() {
    if (background)
      device->ClearRowsTo(first_row, end_row, *background, 1.0f);
    else if (background_from)
      background_from->WaitFor(background_job);
    device->FillRows(first_row, end_row);
    if (target) {
      if (marks_from) marks_from->WaitFor(marked);
      blocks->DrawOutlineRows(target, pitch, target_width, target_height, first_row, end_row);
      if (finish_frame) {
        if (scene_copy) KeepRows(scene_copy, target, pitch, target_width, first_row, end_row);
        platform::gdi::DeviceContext dc =
            platform::gdi::DeviceContext::ForSurface(reinterpret_cast<uint32_t*>(target),
                                                     target_width, target_height, pitch)
                .RowsOnly(first_row, end_row);
        DrawPaletteOverlay(world, scene, door_picture, &dc);
        device->PresentRows(first_row, end_row);
      }
    }
    done = Clock::now();
  }
};

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

void PlayScene::SetBackground() {
  // The canvas is kept in the back buffer's own format: a plain copy a row, or a fill where the
  // row is of one colour.
  DibImage& canvas = Owner()->GetWorld()->canvas;
  r::RenderDevice::Background& picture = background.picture;
  picture.pixels = canvas.DevicePixels();
  picture.width = canvas.Width();
  picture.height = canvas.Height();
  picture.pitch = canvas.Width();
  picture.row_colours = picture.pixels ? canvas.DeviceRowColours() : nullptr;
  background.device = Owner()->Graphics().Device();
  r::Surface* back_buffer = Owner()->Graphics().BackBuffer();
  background.rows = back_buffer ? back_buffer->Height() : 0;
}

void PlayScene::BackgroundClear::Run(void* clear) {
  const auto* c = static_cast<const BackgroundClear*>(clear);
  c->device->ClearRowsTo(0, c->rows, c->picture, 1.0f);
}

void PlayScene::DrawOverKeptScene() {
  GameApp* app = Owner();
  r::Surface* back_buffer = app->Graphics().BackBuffer();
  r::LockedRect locked;
  // A lost device has no back buffer: the whole frame then says what it can.
  if (!back_buffer) return DrawFrame();
  const int width = back_buffer->Width();
  if (scenePicture.size() != size_t(width) * size_t(back_buffer->Height()) ||
      !back_buffer->LockRect(&locked))
    return DrawFrame();
  auto* bits = static_cast<uint8_t*>(locked.bits);
  for (int y = 0; y < back_buffer->Height(); ++y)
    std::memcpy(bits + size_t(y) * locked.pitch, scenePicture.data() + size_t(y) * width,
                size_t(width) * 4);
  back_buffer->UnlockRect();
  ++framesOverKeptScene;
  // The markers are not part of the kept scene: those drawn over it last, again, unless handles
  // came or went (then anew, from the pick buffer of this scene).
  World* world = app->GetWorld();
  if (world->grabLayer.Count() > 0 && !world->grabLayer.RedrawMarkers(back_buffer)) {
    world->blockSet.FinishPickRefresh();
    world->grabLayer.Overlay(app->Graphics().Device(), back_buffer);
  }
  platform::gdi::DeviceContext dc;
  if (back_buffer->GetDC(&dc)) {
    DrawPaletteOverlay(world, this, false, &dc);
    DrawNotice(&dc);
    back_buffer->ReleaseDC(&dc);
  }
}

void PlayScene::DrawNotice(platform::gdi::DeviceContext* dc) const {
  // Top centre, clear of the palette's columns.
  if (notice) notice->Blit(dc, (640 - notice->Width()) / 2, 12, platform::gdi::RasterOp::kSrcCopy);
}

void PlayScene::DrawFrame() {
  GameApp* app = Owner();
  World* world = app->GetWorld();
  GraphicsDevice& graphics = app->Graphics();
  r::RenderDevice* device = graphics.Device();
  r::Surface* back_buffer = graphics.BackBuffer();
  const bool door_picture = DoorPictureDue(world, this, app->Platform().TimeMs());
  bool bands_finish = false;
  // The scene's picture is kept for the frames that change only what goes over it.
  const bool keep_scene = !sceneKey.Empty() && graphics.FrameReuse() && back_buffer;
  const bool scene_was_kept = sceneKept;
  sceneKept = false;
  bool rows_only = false;
  int first_row = 0, end_row = 0;
  bool scene_in_bands = false;
  if (keep_scene) scenePicture.resize(size_t(back_buffer->Width()) * size_t(back_buffer->Height()));

  if (device->BeginScene()) {
    // The table and the blocks are kept by the device, then filled in two bands of rows: this
    // thread takes the upper, the second core the lower once its pick-buffer refresh is done.
    device->SetRenderState(r::RenderState::kCullMode, r::value::kCullNone);
    device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(worldMatrix));
    world->table.Draw(device);

    const bool background_cleared = backgroundJob != 0;
    if (!background_cleared) SetBackground();
    const int height = back_buffer ? back_buffer->Height() : 0;
    r::LockedRect locked;
    const bool locked_ok = back_buffer && back_buffer->LockRect(&locked);
    BlockSet& blocks = world->blockSet;
    BackgroundJob& second_core = blocks.SecondCore();
    const bool overlays = !locked_ok || notice || pictureOnly;
    const bool markers = world->grabLayer.Count() > 0;
    end_row = height;
    const Mat4 screen = blocks.ScreenMatrix(device);
    if (keep_scene) {
      // Where the scene before is kept and only blocks moved since, the rows they covered and
      // cover now are drawn again, the rest copied from it; the palette then goes over it all.
      rows_only = scene_was_kept && !overlays && !background_cleared &&
                  scenePicture.size() == size_t(back_buffer->Width()) * size_t(height) &&
                  sceneKey.Size() == drawnSceneKey.Size() &&
                  sceneKey.SameStart(drawnSceneKey, sceneKeyBeforeBlocks) &&
                  blocks.MovedRows(screen, height, &first_row, &end_row) &&
                  2 * (end_row - first_row) <= height;
      if (!rows_only) first_row = 0, end_row = height;
      framesInMovedRows += rows_only;
      blocks.KeepDrawnCorners(screen);
    }
    if (!rows_only) {
      blocks.Draw(device, worldMatrix, heldBody);
    } else {
      // The blocks wholly outside the rows drawn give them nothing, and are not kept.
      blocks.DrawInRows(device, screen, first_row, end_row);
      for (const auto& [from, to] : {std::pair{0, first_row}, std::pair{end_row, height}})
        for (int y = from; y < to; ++y)
          std::memcpy(static_cast<uint8_t*>(locked.bits) + size_t(y) * locked.pitch,
                      scenePicture.data() + size_t(y) * back_buffer->Width(),
                      size_t(back_buffer->Width()) * 4);
    }
    // Grab handles are drawn over the bands' pixels once both are done; without them the bands
    // finish the frame themselves.
    bands_finish = !overlays && !markers && !rows_only && device->BeginPresentRows();
    blocks.MarkBeforeOutlineRows();
    RowBand upper{device,
                  &blocks,
                  background_cleared ? nullptr : &background.picture,
                  background_cleared ? &second_core : nullptr,
                  backgroundJob,
                  locked_ok ? static_cast<uint8_t*>(locked.bits) : nullptr,
                  locked_ok ? locked.pitch : 0,
                  locked_ok ? back_buffer->Width() : 0,
                  height,
                  first_row,
                  rows_only ? (first_row + end_row) / 2 : bands.Split(height),
                  bands_finish,
                  world,
                  this,
                  door_picture,
                  bands_finish && keep_scene ? scenePicture.data() : nullptr,
                  &second_core,
                  second_core.Started(),
                  {}};
    RowBand lower = upper;
    lower.first_row = upper.end_row;
    lower.end_row = end_row;
    lower.marks_from = nullptr;  // queued behind the refresh, and the background
    lower.background_from = nullptr;
    backgroundJob = 0;
    second_core.Start([](void* band) { static_cast<RowBand*>(band)->Run(); }, &lower);
    const Clock::time_point start = Clock::now();
    upper.Run();
    blocks.FinishPickRefresh();  // the lower band with it
    if (!rows_only)
      bands.Balance(upper.end_row, height, Ms(upper.done - start), Ms(lower.done - upper.done));
    if (locked_ok) back_buffer->UnlockRect();
    device->EndScene(true);
    scene_in_bands = locked_ok;
  } else {
    world->blockSet.DrawOutlines(device, back_buffer);
  }

  if (keep_scene && scene_in_bands) {
    r::LockedRect locked;
    if (!bands_finish && back_buffer->LockRect(&locked)) {
      KeepRows(scenePicture.data(), static_cast<const uint8_t*>(locked.bits), locked.pitch,
               back_buffer->Width(), rows_only ? first_row : 0,
               rows_only ? end_row : back_buffer->Height());
      back_buffer->UnlockRect();
      sceneKept = true;
    }
    sceneKept = sceneKept || bands_finish;
    if (sceneKept) drawnSceneKey.Swap(sceneKey);
  }
  world->grabLayer.Overlay(device, back_buffer);
  if (bands_finish) {
    if (door_picture) doorPictureShown = 1;
    return;
  }
  platform::gdi::DeviceContext dc;
  if (!pictureOnly && back_buffer && back_buffer->GetDC(&dc)) {
    DrawPaletteOverlay(world, this, door_picture, &dc);
    if (door_picture) doorPictureShown = 1;
    DrawNotice(&dc);
    back_buffer->ReleaseDC(&dc);
  }
}

bool PlayScene::DrawPicture(std::vector<uint32_t>* pixels, int* width, int* height) {
  GameApp* app = Owner();
  r::Surface* back_buffer = app->Graphics().BackBuffer();
  if (!back_buffer) return false;
  app->GetWorld()->blockSet.FinishPickRefresh();
  pictureOnly = true;
  const uint64_t background_job = backgroundJob;
  backgroundJob = 0;  // no clear is waiting on the second core: the bands clear their rows
  DrawFrame();
  backgroundJob = background_job;
  pictureOnly = false;
  app->Graphics().ForgetShownFrame();
  r::LockedRect locked;
  if (!back_buffer->LockRect(&locked)) return false;
  *width = back_buffer->Width();
  *height = back_buffer->Height();
  pixels->resize(size_t(*width) * *height);
  for (int y = 0; y < *height; ++y)
    std::memcpy(pixels->data() + size_t(y) * *width,
                static_cast<const uint8_t*>(locked.bits) + size_t(y) * locked.pitch,
                size_t(*width) * 4);
  back_buffer->UnlockRect();
  return true;
}
