// The World's blocks and the per-pixel pick buffers: for every pixel of the view, which body and
// face is in front and at what depth, rasterized in software from the device's transforms.
#pragma once

#include <cstdint>
#include <vector>

#include "app/object_list.h"
#include "blocks/block.h"
#include "blocks/contact_grid.h"
#include "blocks/pick_buffer.h"
#include "platform/render/render_device.h"

class GameApp;
class Table;

// A point on screen: x and y in pixels, z the depth after the viewport (0 near, 1 far).
struct ScreenPoint {
  float x, y, z;
};

class BlockSet : public OwningObjectList<Block> {
 public:
  BlockSet() = default;

  // Stores the arguments, takes the table from the app's World and allocates the buffers.
  bool Initialise(GameApp* app, int buffer_width, int buffer_height);
  // Empties every cell of both buffers.
  void ClearPickBuffers();
  // A new block centred at a display-space point; the result of its Create is not examined.
  Block* AddBlock(const platform::gdi::DeviceContext& dc, platform::render::RenderDevice* device,
                  const SoundManager& sound_manager, const Vec3& centre, const Vec3& block_size);
  Block* AddBlockOwnContext(platform::render::RenderDevice* device,
                            const SoundManager& sound_manager, const Vec3& centre,
                            const Vec3& block_size);
  void ResetGlueState() {
    pendingFace = nullptr;
    groupBlock = nullptr;
  }

  // World x view x projection x viewport, read back from the device.
  Mat4 ScreenMatrix(platform::render::RenderDevice* device) const;
  // Refills the front buffer (excluded null) or the back buffer without the excluded body.
  void RefreshPickBuffer(platform::render::RenderDevice* device, const Block* excluded);
  // Scanline fill with interpolated depth and a strict depth test; writes `id` where it wins.
  void RasterizeTriangle(PickBuffer* cells, const ScreenPoint& v0, const ScreenPoint& v1,
                         const ScreenPoint& v2, uint32_t body, int face_index, int triangle) const;
  // Marks every pixel whose left or upper neighbour shows another face.
  void MarkOutlines();
  // MarkOutlines, then two-pixel black lines right of and below each mark.
  void DrawOutlines(platform::render::RenderDevice* device, platform::render::Surface* surface);
  void Draw(platform::render::RenderDevice* device, const Mat4& matrix, const Block* held) const;

  // One physics step while the settle check flag is set (the door sets it), then, either way,
  // the refresh of the front pick buffer. Called once per play frame; `held` is not used.
  void Step(platform::render::RenderDevice* device, const Block* held);
  // The physics of one step without the refresh: prediction, relaxation, finish.
  void StepBodies();
  // Whether every block's centre moved at most 0.015 in the last step, blocks fallen to -100 or
  // below aside; false while the settle check flag is clear. The door waits for it.
  bool AllAtRest() const;
  // Adds a block and makes room for it in the contact grid, so that steps allocate nothing.
  void Add(Block* block) override;
  ContactGrid contactGrid;  // the broad phase of the block pairs, rebuilt every pass

  // A pen sample at a screen point: texels of the face under it, or a 3x3 square on the canvas
  // where no face is (then false).
  bool PaintAt(platform::render::RenderDevice* device, float x, float y, const uint8_t pen[3],
               float zoom);
  // Paints the texel of the face under (x, y) when the point lies on the given triangle.
  bool PaintFaceTexel(platform::render::RenderDevice* device, Face* face, float x, float y,
                      const uint8_t pen[3], int triangle);
  // Where the cursor ray through (x, y) meets the plane of the face, in display space; a ray
  // parallel to the plane leaves *out as it was.
  bool FacePointUnderCursor(const Face& face, platform::render::RenderDevice* device, float x,
                            float y, Vec3* out) const;

  // What a pick cell points at.
  Block* CellBody(const PickCell& cell) const;
  Face* CellFace(const PickCell& cell) const;
  uint32_t BodyId(int list_index) const { return PickCell::kFirstBlockBody + uint32_t(list_index); }

  const PickBuffer& FrontBuffer() const { return front_; }
  const PickBuffer& BackBuffer() const { return back_; }
  const uint8_t* EdgeMask() const { return edgeMask.data(); }
  int Width() const { return width; }
  int Height() const { return height; }
  Table* GetTable() const { return table; }

  // Glue state and drag records of the hand.
  Table* table = nullptr;
  Face* supportQuad = nullptr;
  Face dragQuad;
  GameApp* application = nullptr;
  int width = 0;
  int height = 0;
  std::vector<size_t> candidates;  // cell indices
  int candidateCount = 0;
  float snapDistances[6] = {};
  std::vector<uint8_t> edgeMask;
  uint8_t settleCheck = 0;
  Face* pendingFace = nullptr;
  Face* savedLink = nullptr;
  Vec3 snapOffset;
  Block* groupBlock = nullptr;
  Vec3 dragQuadCorners[4];

 private:
  PickBuffer front_;
  PickBuffer back_;
};
