#include "platform/picture_scaler.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

// a and b (0x00RRGGBB) mixed with w/256 of b; the red and blue channels go together.
inline uint32_t Mix(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t v = 256 - w;
  const uint32_t rb = (((a & 0xFF00FFu) * v + (b & 0xFF00FFu) * w) >> 8) & 0xFF00FFu;
  const uint32_t g = (((a & 0x00FF00u) * v + (b & 0x00FF00u) * w) >> 8) & 0x00FF00u;
  return rb | g;
}

}  // namespace

std::vector<PictureScaler::Tap> PictureScaler::Taps(int source, int dest) {
  std::vector<Tap> taps(size_t(std::max(dest, 0)));
  if (source <= 0 || dest <= 0) return taps;
  for (int d = 0; d < dest; ++d) {
    Tap& t = taps[size_t(d)];
    if (dest >= source) {
      // Shown pixel d covers picture span [d, d + 1) * source / dest, at most two pixels wide.
      const int64_t start = int64_t(d) * source, end = int64_t(d + 1) * source;  // x dest
      t.index = int(start / dest);
      const int64_t boundary = int64_t(t.index + 1) * dest;
      if (end > boundary) t.next = uint32_t(((end - boundary) * 256 + source / 2) / source);
    } else {
      // Shrinking: the two picture pixels nearest the shown pixel's centre.
      const int64_t centre = (2 * int64_t(d) + 1) * source - dest;  // x 2 * dest
      t.index = int(centre / (2 * int64_t(dest)));
      t.next = uint32_t(((centre % (2 * int64_t(dest))) * 256 + dest) / (2 * int64_t(dest)));
    }
    if (t.next >= 256) {
      ++t.index;
      t.next = 0;
    }
    if (t.index >= source - 1) {
      t.index = source - 1;
      t.next = 0;
    }
  }
  return taps;
}

void PictureScaler::Prepare(int source_w, int source_h, int dest_w, int dest_h) {
  if (source_w == source_w_ && source_h == source_h_ && dest_w == DestWidth() &&
      dest_h == DestHeight())
    return;
  source_w_ = source_w;
  source_h_ = source_h;
  columns_ = Taps(source_w, dest_w);
  rows_ = Taps(source_h, dest_h);
  mixed_.assign(size_t(std::max(source_w, 0)), 0);
}

std::pair<int, int> PictureScaler::DestRowsOf(int first_source, int end_source) const {
  int first = int(rows_.size()), end = 0;
  for (int d = 0; d < int(rows_.size()); ++d) {
    const Tap& t = rows_[size_t(d)];
    const int last_read = t.next ? t.index + 1 : t.index;
    if (last_read >= first_source && t.index < end_source) {
      first = std::min(first, d);
      end = d + 1;
    }
  }
  return first < end ? std::make_pair(first, end) : std::make_pair(0, 0);
}

void PictureScaler::ScaleRows(const uint32_t* source, int source_pitch, uint32_t* dest,
                              int dest_pitch, int first, int end) {
  first = std::max(first, 0);
  end = std::min(end, int(rows_.size()));
  const size_t dest_bytes = columns_.size() * sizeof(uint32_t);
  for (int d = first; d < end; ++d) {
    uint32_t* out = dest + size_t(d) * size_t(dest_pitch);
    const Tap& t = rows_[size_t(d)];
    // Most rows at a large factor repeat the one above.
    if (d > first && t == rows_[size_t(d - 1)] && t.next == 0) {
      std::memcpy(out, out - dest_pitch, dest_bytes);
      continue;
    }
    const uint32_t* row = source + size_t(t.index) * size_t(source_pitch);
    if (t.next) {
      const uint32_t* below = row + source_pitch;
      for (int x = 0; x < source_w_; ++x) mixed_[size_t(x)] = Mix(row[x], below[x], t.next);
      row = mixed_.data();
    }
    for (size_t x = 0; x < columns_.size(); ++x) {
      const Tap& c = columns_[x];
      out[x] = c.next ? Mix(row[c.index], row[c.index + 1], c.next) : row[c.index];
    }
  }
}

}  // namespace platform
