// Where each field of a construction's unpacked payload lies (docs/construction-format.md),
// the one table the structure-aware mutator and its seeds edit by. A test lays a snapshot out
// with the codec and finds every field here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace layout {

// The head, from the payload's first byte.
constexpr size_t kSizes = 0;  // face, table, canvas width, canvas height: 4 x u32
constexpr size_t kPitch = 16, kYaw = 20, kZoom = 24;
constexpr size_t kTool = 28;
constexpr size_t kPen = 32;  // 3 x u8
constexpr size_t kTableCentre = 35;
constexpr size_t kTableTexels = 47;
constexpr size_t kTableTexelBytes = 240 * 240 * 3;
constexpr size_t kCanvasPixels = kTableTexels + kTableTexelBytes;
constexpr size_t kCanvasBytes = 640 * 480 * 3;
constexpr size_t kQuadBytes = 68;  // 4 corners, normal, 2 areas: 17 x f32
constexpr size_t kHandleQuad = kCanvasPixels + kCanvasBytes;
constexpr size_t kDragQuad = kHandleQuad + kQuadBytes;
constexpr size_t kRefBytes = 8;  // i32 block, i32 face
constexpr size_t kSupportQuad = kDragQuad + kQuadBytes;
constexpr size_t kPendingFace = kSupportQuad + kRefBytes;
constexpr size_t kSavedLink = kPendingFace + kRefBytes;
constexpr size_t kGroupBlock = kSavedLink + kRefBytes;
constexpr size_t kSnapOffset = kGroupBlock + 4;
constexpr size_t kBlockCount = kSnapOffset + 12;
constexpr size_t kBlocks = kBlockCount + 4;  // the first block; the handle count follows the last

// A block, from its first byte.
constexpr size_t kBlockId = 0;
constexpr size_t kCorners = 4;  // 8 x (corner, saved corner): 24 bytes a corner
constexpr size_t kVelocities = kCorners + 8 * 24;
constexpr size_t kCentre = kVelocities + 8 * 12;
constexpr size_t kPreviousCentre = kCentre + 12;
constexpr size_t kReferenceCentre = kPreviousCentre + 12;
constexpr size_t kSize = kReferenceCentre + 12;
constexpr size_t kAxes = kSize + 12;
constexpr size_t kRestLengths = kAxes + 36;
constexpr size_t kReach = kRestLengths + 16 * 4;
constexpr size_t kScreenPosition = kReach + 4;
constexpr size_t kContact = kScreenPosition + 16;  // 8 x u8, then visited, on table, touched,
                                                   // touched before
constexpr size_t kBlockHandle = kContact + 12;
constexpr size_t kFaces = kBlockHandle + 4;
constexpr size_t kFaceBytes = 28 + 8 * 8 * 3;
constexpr size_t kBlockBytes = kFaces + 6 * kFaceBytes;
static_assert(kBlockBytes == 1796, "the format page's block size");

// A face, from its first byte.
constexpr size_t kFaceNormal = 0;  // normal, then the two areas
constexpr size_t kFaceLink = 20;
constexpr size_t kFaceTexels = 28;

// A handle, from its first byte.
constexpr size_t kHandleBlock = 0;
constexpr size_t kHandleAnchor = 4;
constexpr size_t kHandleScreen = 16;  // x, y: 2 x i32
constexpr size_t kHandleBytes = 24;

// The face refs' fixed records.
constexpr int32_t kNone = -1, kTableTop = -2, kHandleQuadRef = -3, kDragQuadRef = -4;

}  // namespace layout
