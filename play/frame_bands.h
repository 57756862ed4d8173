// The play frame's rows shared between the two cores: this thread takes rows [0, split), the
// second core rows [split, height) after its pick-buffer refresh. Where the split lies changes
// no pixel, only how long each side takes; it is moved every frame toward the point where both
// sides finish together.
#pragma once

#include <algorithm>

class FrameBands {
 public:
  // The row where the second core's band starts, for a screen of `height` rows.
  int Split(int height) const {
    if (fraction_ < 0.0) return height / 2;
    return std::clamp(int(fraction_ * height + 0.5), 0, height);
  }

  // After a frame split at `split`: this thread spent `own_ms` on its rows; the second core
  // finished its band `late_ms` after this thread finished its own (negative when earlier).
  void Balance(int split, int height, double own_ms, double late_ms) {
    if (height <= 0) return;
    // Each row moved takes its cost from one side and gives it to the other: half the gap
    // closes it. Rows cost about what this side's rows cost on average; moved halfway again,
    // so that a frame that differs from the next does not swing the split.
    const double row_ms = own_ms / std::max(split, 8);
    const double rows = late_ms / (2.0 * row_ms) * 0.5;
    fraction_ = std::clamp((double(split) + std::clamp(rows, -64.0, 64.0)) / height, 0.0, 1.0);
  }

 private:
  double fraction_ = -1.0;  // not yet measured: half and half
};
