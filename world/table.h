// The 60x60 table square the blocks stand on: a body of kind 1 with four corners and one white
// 240x240 texture. Its centre is kept in display space.
#pragma once

#include "blocks/block.h"
#include "platform/gdi/device_context.h"

class Table : public Block {
 public:
  Table();

  // Places the square at the origin and makes its white texture; always true.
  bool Init(const platform::gdi::DeviceContext& dc, platform::render::RenderDevice* device);
  // Rebuilds the square around a display-space point from the fixed offsets.
  void PlaceAt(const Vec3& point) override;
  void Draw(platform::render::RenderDevice* device) const;
  // The table's own texture for its top record.
  ImageTexture* TextureToPaint(const Face& face) override;

  // The face record the pick buffers and the pens use: its corners are the four table corners.
  Face& TopRecord() { return topRecord; }
  const Face& TopRecord() const { return topRecord; }
  Vec3* const* tableCornerRefs() const { return topRecord.corner; }

  ImageTexture texture;
  platform::render::Vertex vertices[4] = {};
  Vec3 tableCorners[4];  // physics space: (x, z, y) of each vertex

 private:
  void Build(const Vec3& p);
  Face topRecord;
};
