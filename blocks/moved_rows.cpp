// The rows of the picture and of the pick buffer that blocks moved since they were made can have
// changed, so that a frame in which only a few blocks moved is drawn and picked again in those
// rows alone, from the blocks that reach them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "blocks/block_set.h"

namespace r = platform::render;

namespace {

// More blocks moved than this (the door's fall moves them all) and a picture or a pick fill is
// made whole: the look for their rows would cost more than it saves.
constexpr int kMostMoved = 256;

// Corners this far off the screen (in pixels) or outside the depth range are clipped by the
// device, and their triangles' rows are not bounded by the corners'.
constexpr float kFarOff = 16384.0f;

// The least and greatest screen y of the corners; false where the rows cannot be bounded.
bool ScreenRows(const Vec3 (&corners)[8], const Mat4& screen, float* low, float* high) {
  for (const Vec3& corner : corners) {
    const ScreenPoint p = ProjectToScreen(corner, screen);
    if (!(p.z >= 0.0f && p.z <= 1.0f && std::fabs(p.x) < kFarOff && std::fabs(p.y) < kFarOff))
      return false;
    *low = std::min(*low, p.y);
    *high = std::max(*high, p.y);
  }
  return true;
}

}  // namespace

void BlockSet::NoteCorners(CornerRecord* record, const Mat4& screen) const {
  record->corners.resize(size_t(Count()));
  for (int i = 0; i < Count(); ++i)
    std::memcpy(record->corners[size_t(i)].at, At(i)->corners, sizeof(CornerRecord::Corners));
  record->version = listVersion_;
  record->screen = screen;
  record->kept = true;
}

bool BlockSet::MovedRows(const CornerRecord& record, const Mat4& screen, int height, int* first_row,
                         int* end_row) const {
  if (!record.kept || record.version != listVersion_ || record.corners.size() != size_t(Count()) ||
      std::memcmp(record.screen.m, screen.m, sizeof screen.m) != 0)
    return false;
  float low = INFINITY, high = -INFINITY;
  int moved = 0;
  for (int i = 0; i < Count(); ++i) {
    const CornerRecord::Corners& then = record.corners[size_t(i)];
    if (std::memcmp(then.at, At(i)->corners, sizeof then.at) == 0) continue;
    if (++moved > kMostMoved || !ScreenRows(then.at, screen, &low, &high) ||
        !ScreenRows(At(i)->corners, screen, &low, &high))
      return false;
  }
  if (moved == 0) {
    *first_row = *end_row = 0;
    return true;
  }
  // The picture fills rows ceil(low) to floor(high), the pick walk rows round(low) to
  // round(high); a pick cell's outline mark is read by its own row and the next, and blackens
  // pixels down to the row after that. Two rows more each way cover the device's own rounding
  // of the corners, which it projects apart.
  *first_row = std::clamp(int(std::floor(low)) - 2, 0, height);
  *end_row = std::clamp(int(std::ceil(high)) + 5, 0, height);
  return true;
}

void BlockSet::DrawInRows(r::RenderDevice* device, const Mat4& screen, int first_row,
                          int end_row) const {
  device->SetFVF(r::kFvfXyz | r::kFvfDiffuse | r::kFvfTex1);
  for (int i = 0; i < Count(); ++i) {
    // The device fills rows ceil(low) to floor(high) of its own projection, within two rows of
    // this one; a block whose rows cannot be bounded is drawn.
    float low = INFINITY, high = -INFINITY;
    if (ScreenRows(At(i)->corners, screen, &low, &high) &&
        (std::ceil(high) + 2.0f < float(first_row) || std::floor(low) - 2.0f >= float(end_row)))
      continue;
    At(i)->Draw(device);
  }
}
