#include "world/table.h"

#include "blocks/world_limits.h"

namespace r = platform::render;

namespace {
constexpr float kHalfSide = 30.0f;
}

Table::Table() : Block(kTable) {}

void Table::Build(const Vec3& p) {
  static constexpr float kOffX[4] = {-kHalfSide, -kHalfSide, kHalfSide, kHalfSide};
  static constexpr float kOffZ[4] = {-kHalfSide, kHalfSide, kHalfSide, -kHalfSide};
  for (int k = 0; k < 4; ++k) {
    vertices[k].x = p.x + kOffX[k];
    vertices[k].y = p.y;
    vertices[k].z = p.z + kOffZ[k];
    tableCorners[k].Set(vertices[k].x, vertices[k].z, vertices[k].y);
    topRecord.corner[k] = &tableCorners[k];
  }
}

bool Table::Init(const platform::gdi::DeviceContext& dc, r::RenderDevice* device) {
  static constexpr float kU[4] = {0, 1, 1, 0};
  static constexpr float kV[4] = {0, 0, 1, 1};
  for (int k = 0; k < 4; ++k) {
    vertices[k].diffuse = 0xFFFFFFFF;
    vertices[k].u = kU[k];
    vertices[k].v = kV[k];
  }
  Build({0, 0, 0});
  texture.CreateBlank(dc, device, 240, 240, 255, 255, 255);
  topRecord.texture = &texture;
  topRecord.owner = this;
  topRecord.UpdateShape();
  centre.Zero();
  return true;
}

void Table::PlaceAt(const Vec3& point) {
  // Slid by a ray that meets its plane near the horizon, it stops at the play space's edge.
  centre = world_limits::ClampedPlace(point, world_limits::kEdge);
  Build(centre);
  topRecord.UpdateShape();
}

ImageTexture* Table::TextureToPaint(const Face& face) {
  return &face == &topRecord ? &texture : nullptr;
}

void Table::Draw(r::RenderDevice* device) const {
  device->SetTexture(0, texture.Texture());
  device->SetFVF(r::kFvfXyz | r::kFvfDiffuse | r::kFvfTex1);
  device->DrawPrimitiveUP(r::PrimitiveType::kTriangleFan, 2, vertices, sizeof(r::Vertex));
  device->SetTexture(0, nullptr);
}
