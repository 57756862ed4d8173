// A construction as a glTF 2.0 binary file (.glb): every block its own node and mesh, as its
// eight corners stand, with flat normals and its faces' painted texels in one atlas; the table
// with its own texture; the glue links kept as extras.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "blocks/math.h"

class World;

// What the file is made from, in the toy's physics space (z up). Texels are R, G, B bytes, rows
// from v = 0 down, as the faces' textures hold them.
struct GltfScene {
  static constexpr int kFaceTexels = 8;  // a face's texture is 8 x 8
  struct Glue {
    int face = 0;        // of this block
    int otherBlock = 0;  // index in `blocks`
    int otherFace = 0;
  };
  struct Block {
    Vec3 corners[8];
    std::array<std::array<uint8_t, kFaceTexels * kFaceTexels * 3>, 6> texels{};
    std::vector<Glue> glue;
  };
  std::vector<Block> blocks;
  Vec3 tableCorners[4];
  int tableWidth = 0, tableHeight = 0;
  std::vector<uint8_t> tableTexels;
};

// The blocks, their links and the table as they stand in the world.
GltfScene SceneOfWorld(const World& world);

// glTF is metres, +Y up, right-handed; the toy draws y up in a left-handed space (Direct3D's
// convention: +z away from the viewer). A display point (x, y, z) is therefore exported as
// (x, y, -z) times this scale: a block of 2 units is 4 cm, the table 1.2 m.
inline constexpr float kMetresPerUnit = 0.02f;

// The .glb bytes, or false with the reason (a texture that cannot be encoded).
bool EncodeGlb(const GltfScene& scene, const std::string& generator, std::vector<uint8_t>* out,
               std::string* why);
