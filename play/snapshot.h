// The construction as plain values: every block with its corners, physics state, glue and painted
// faces, the table, the canvas, the grab handles, the camera and the hand's glue records. Nothing
// in it points at memory: blocks are named by their stable ids, faces by block id and face index.
// Taken from and put back into the play space exactly, so that a restored session continues bit
// for bit as the one it was taken from; the save file, the undo history and the exports start
// from it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "blocks/math.h"

class PlayScene;
class World;

struct Snapshot {
  // The face textures', the table's and the canvas's sizes in this version of the toy.
  static constexpr int kFaceTexels = 8;
  static constexpr int kTableTexels = 240;
  static constexpr int kCanvasWidth = 640;
  static constexpr int kCanvasHeight = 480;

  // What a face record is: none, one of the fixed records of the play space, or a block's face.
  struct FaceRef {
    static constexpr int32_t kNone = -1;
    static constexpr int32_t kTableTop = -2;
    static constexpr int32_t kHandleQuad = -3;
    static constexpr int32_t kDragQuad = -4;
    int32_t block = kNone;  // a block id (>= 0) or one of the above
    int32_t face = 0;       // 0..5 for a block's face
    bool operator==(const FaceRef&) const = default;
  };
  // A face-shaped record the hand uses: four corners and the shape values made from them.
  struct Quad {
    Vec3 corners[4];
    Vec3 normal;
    float area012 = 0.0f, area230 = 0.0f;
  };
  struct Face {
    Vec3 normal;
    float area012 = 0.0f, area230 = 0.0f;
    FaceRef link;
    std::array<uint8_t, kFaceTexels * kFaceTexels * 3> texels{};  // R, G, B; row 0 first
  };
  struct Block {
    uint32_t id = 0;
    Vec3 corners[8], savedCorners[8], velocities[8];
    Vec3 centre, previousCentre, referenceCentre, size, axes[3];
    float restLengths[16] = {};
    float reachRadius = 0.0f;
    Vec4 screenPosition;
    uint8_t contact[8] = {};
    uint8_t visited = 0, onTable = 0, touched = 0, touchedBefore = 0;
    int32_t handle = -1;  // index into handles, or -1
    Face faces[6];
  };
  struct Handle {
    uint32_t block = 0;  // id
    Vec3 anchor;
    int32_t screenX = 0, screenY = 0;
  };

  float pitch = 30.0f, yaw = 225.0f, zoom = 8.0f;
  int32_t tool = 0;  // index into the palette's tools; the door is restored as the hand
  uint8_t pen[3] = {0, 0, 0};
  Vec3 tableCentre;
  std::vector<uint8_t> tableTexels;   // kTableTexels^2 x R, G, B; row 0 first
  std::vector<uint8_t> canvasPixels;  // kCanvasWidth x kCanvasHeight x B, G, R; top row first
  Quad handleQuad, dragQuad;
  FaceRef supportQuad, pendingFace, savedLink;
  int32_t groupBlock = -1;  // a block id or -1
  Vec3 snapOffset;
  std::vector<Block> blocks;  // in list order
  std::vector<Handle> handles;
};

// A block's shape and motion, all that a physics step reads or writes of it, from a block or its
// record to another: Block and Snapshot::Block name these members alike.
template <class From, class To>
void CopyBodyState(const From& from, To& to) {
  std::copy(from.corners, from.corners + 8, to.corners);
  std::copy(from.savedCorners, from.savedCorners + 8, to.savedCorners);
  std::copy(from.velocities, from.velocities + 8, to.velocities);
  to.centre = from.centre;
  to.previousCentre = from.previousCentre;
  to.referenceCentre = from.referenceCentre;
  to.size = from.size;
  std::copy(from.axes, from.axes + 3, to.axes);
  std::copy(from.restLengths, from.restLengths + 16, to.restLengths);
  to.reachRadius = from.reachRadius;
  to.screenPosition = from.screenPosition;
  std::copy(from.contact, from.contact + 8, to.contact);
  to.visited = from.visited;
  to.onTable = from.onTable;
  to.touched = from.touched;
  to.touchedBefore = from.touchedBefore;
}

// The play space as it is now. Taken between frames; a body held by the hand counts as let go.
Snapshot TakeSnapshot(const World& world, const PlayScene& play);

// Whether every reference names something the snapshot holds and every size is this version's:
// the one check a snapshot from outside passes before it may be restored. False with the reason.
bool CheckSnapshot(const Snapshot& snapshot, std::string* why);

// Replaces the play space's construction with the snapshot's; the snapshot must pass
// CheckSnapshot (false, nothing changed, otherwise). Nothing is held afterwards.
bool RestoreSnapshot(const Snapshot& snapshot, World* world, PlayScene* play, std::string* why);
