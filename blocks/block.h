// A solid box body: eight corners, six paintable faces, physics state and five collision sounds.
// All vectors are in physics space (z up); drawing converts to display space (y up).
#pragma once

#include <cstdint>
#include <memory>

#include "blocks/blank_face.h"
#include "blocks/math.h"
#include "gfx/image_texture.h"
#include "platform/render/render_device.h"
#include "sound/sound_manager.h"

class Block;
class GrabHandle;

// Corner indices of the six faces: bottom, top, low Y, high Y, low X, high X.
inline constexpr int kFaceCorners[6][4] = {{0, 1, 2, 3}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                           {2, 3, 7, 6}, {0, 3, 7, 4}, {1, 2, 6, 5}};
// The twelve edges, then the four body diagonals: one list of sixteen pairs.
inline constexpr int kEdgePairs[16][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                          {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7},
                                          {0, 6}, {1, 7}, {2, 4}, {3, 5}};

struct Face {
  Vec3* corner[4] = {};  // p0..p3, into the owning body
  Vec3 normal;
  float area012 = 0.0f;  // |(p0 - p1) x (p1 - p2)|, twice the area of p0 p1 p2
  float area230 = 0.0f;  // |(p2 - p3) x (p3 - p0)|, twice the area of p2 p3 p0
  // What the face shows, not owned: its block's own texture once painted, else a blank one
  // many faces share. Written only through the block (Block::TextureToPaint).
  const ImageTexture* texture = nullptr;
  Block* owner = nullptr;
  Face* link = nullptr;  // the glued face of another block, not owned

  // Recomputes normal and both areas from the corners.
  void UpdateShape();
};

class Block {
 public:
  static constexpr int kBlock = 0;
  static constexpr int kTable = 1;

  explicit Block(int body_kind = kBlock);
  virtual ~Block() = default;
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  // Builds the box from corner 0 and the edge lengths (physics space), every face showing the
  // blank white texture (which must outlive the block), and the five collision sounds; false
  // when the blank was not made or a face's own texture could not be (the blank not shared),
  // or at the end when a sound could not be loaded (that one stays silent).
  virtual bool Create(const BlankFace& blank, const SoundManager& sound_context, const Vec3& origin,
                      const Vec3& block_size);
  // Puts corner 0 at the point, keeping axes and size.
  virtual void PlaceAt(const Vec3& point);
  virtual Vec3& GetCenter(Vec3& out) const {
    out = centre;
    return out;
  }
  // Each face as a textured fan; the caller has set the vertex format.
  void Draw(platform::render::RenderDevice* device) const;

  // Corners 1..7 from corner 0, the axes and the size.
  void BuildCorners();

  // Face f's texture for writing: its own, made on the first call as a copy of what the face
  // shows (copy on write), so that painting a face never changes another. Null when it cannot
  // be made.
  ImageTexture* PaintableFaceTexture(int f);
  // Whether face f has a texture of its own (it was painted, or the blank is not shared).
  bool OwnsFaceTexture(int f) const { return ownTextures_[f] != nullptr; }
  // The texture the pens write for one of this body's face records (the same for a block's face
  // as PaintableFaceTexture), or null.
  virtual ImageTexture* TextureToPaint(const Face& face);

  int kind;
  uint32_t id = 0;  // stable for the block's life, given by the block set; not reused before 2^31
  Vec3 corners[8];
  Face faces[6];
  Vec3 centre;
  Vec3 previousCentre;
  Vec3 size;
  uint8_t visited = 0;
  uint8_t onTable = 1;
  GrabHandle* grabHandle = nullptr;
  Vec4 screenPosition{0.0f, 0.0f, 0.0f, 1.0f};
  Vec3 savedCorners[8];
  Vec3 velocities[8];
  uint8_t contact[8] = {};
  float reachRadius = 0.0f;
  float restLengths[16] = {};
  Vec3 axes[3];
  Vec3 referenceCentre;
  Sound collisionSounds[5];
  uint8_t touched = 0;
  uint8_t touchedBefore = 0;

 private:
  const BlankFace* blank_ = nullptr;  // not owned: the block set's
  std::unique_ptr<ImageTexture> ownTextures_[6];
};

// Origin (corner 0, physics space) of a box of the given size centred at a display-space point.
inline Vec3 OriginForDisplayCentre(const Vec3& c, const Vec3& s) {
  return {c.x - s.x / 2, c.z - s.z / 2, c.y - s.y / 2};
}
