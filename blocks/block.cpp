#include "blocks/block.h"

#include <cmath>
#include <cstdio>

#include "blocks/world_limits.h"

namespace r = platform::render;

void Face::UpdateShape() {
  const Vec3& p0 = *corner[0];
  const Vec3& p1 = *corner[1];
  const Vec3& p2 = *corner[2];
  const Vec3& p3 = *corner[3];
  Vec3 a, b, c;
  Cross(c, Subtract(a, p0, p1), Subtract(b, p1, p2));
  area012 = std::sqrt(LengthSquared(c));
  Cross(c, Subtract(a, p2, p3), Subtract(b, p3, p0));
  area230 = std::sqrt(LengthSquared(c));
  FaceNormal(normal, p0, p2, p3);
}

Block::Block(int body_kind) : kind(body_kind) {}

void Block::BuildCorners() {
  Vec3 x, y, z;
  Scale(x, axes[0], size.x);
  Scale(y, axes[1], size.y);
  Scale(z, axes[2], size.z);
  const Vec3 o = corners[0];
  Add(corners[1], o, x);
  Add(corners[2], corners[1], y);
  Add(corners[3], o, y);
  Add(corners[4], o, z);
  Add(corners[5], corners[1], z);
  Add(corners[6], corners[2], z);
  Add(corners[7], corners[3], z);
}

bool Block::Create(const BlankFace& blank, const SoundManager& sound_context, const Vec3& origin,
                   const Vec3& block_size) {
  size = block_size;
  axes[0].Set(1, 0, 0);
  axes[1].Set(0, 1, 0);
  axes[2].Set(0, 0, 1);
  touched = touchedBefore = 0;
  corners[0] = origin;
  BuildCorners();
  Vec3 sum;
  for (const Vec3& c : corners) AddInPlace(sum, c);
  Scale(centre, sum, 0.125f);
  for (int f = 0; f < 6; ++f) {
    for (int k = 0; k < 4; ++k) faces[f].corner[k] = &corners[kFaceCorners[f][k]];
    faces[f].owner = this;
    faces[f].UpdateShape();
  }
  referenceCentre = centre;
  for (int i = 0; i < 16; ++i) {
    Vec3 d;
    Subtract(d, corners[kEdgePairs[i][0]], corners[kEdgePairs[i][1]]);
    restLengths[i] = std::sqrt(LengthSquared(d));
  }
  for (int i = 0; i < 8; ++i) {
    velocities[i].Zero();
    savedCorners[i] = corners[i];
  }
  reachRadius = 1.2f * restLengths[15];
  // A collision sound that cannot be loaded stays silent; the block still gets its paintable
  // faces, and the false result tells the caller it is not complete.
  bool sounds = true;
  for (int i = 0; i < 5; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "data/collision%d.wav", i + 1);
    if (!collisionSounds[i].Load(sound_context, name)) sounds = false;
  }
  blank_ = &blank;
  for (int f = 0; f < 6; ++f) {
    ownTextures_[f].reset();
    faces[f].texture = blank.Texture();
  }
  if (!blank.Texture()) return false;
  if (!blank.Shared())
    for (int f = 0; f < 6; ++f)
      if (!PaintableFaceTexture(f)) return false;
  return sounds;
}

ImageTexture* Block::PaintableFaceTexture(int f) {
  std::unique_ptr<ImageTexture>& own = ownTextures_[f];
  if (!own && blank_ && faces[f].texture) {
    own = blank_->CopyOf(*faces[f].texture);
    if (own) faces[f].texture = own.get();
  }
  return own.get();
}

ImageTexture* Block::TextureToPaint(const Face& face) {
  for (int f = 0; f < 6; ++f)
    if (&face == &faces[f]) return PaintableFaceTexture(f);
  return nullptr;
}

void Block::PlaceAt(const Vec3& point) {
  // A ray that meets its plane near the horizon would carry the block beyond the play space.
  corners[0] = world_limits::ClampedPlace(point, 2.0f * world_limits::kEdge);
  BuildCorners();
  previousCentre = centre;
  Vec3 sum;
  for (const Vec3& c : corners) AddInPlace(sum, c);
  DivideInPlace(sum, 8.0f);
  centre = sum;
  referenceCentre = sum;
  for (int i = 0; i < 8; ++i) {
    velocities[i].Zero();
    savedCorners[i] = corners[i];
  }
  reachRadius = 1.2f * restLengths[15];
}

void Block::Draw(r::RenderDevice* device) const {
  static constexpr float kU[4] = {0, 1, 1, 0};
  static constexpr float kV[4] = {0, 0, 1, 1};
  for (const Face& face : faces) {
    if (!face.corner[0]) continue;  // never created
    device->SetTexture(0, face.texture ? face.texture->Texture() : nullptr);
    r::Vertex v[4];
    for (int k = 0; k < 4; ++k) {
      const Vec3& p = *face.corner[k];
      v[k] = {p.x, p.z, p.y, 0xFFFFFFFF, kU[k], kV[k]};
    }
    device->DrawPrimitiveUP(r::PrimitiveType::kTriangleFan, 2, v, sizeof(r::Vertex));
  }
}
