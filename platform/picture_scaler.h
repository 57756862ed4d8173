// Scales the picture to the size it is shown at, sharply and evenly at any factor: each shown pixel
// is the average of the picture pixels it covers, weighted by how much of it each covers (area
// sampling). At whole factors that is plain pixel repetition; between them every edge between two
// picture pixels is blended over at most one shown pixel, so a one-pixel outline keeps the same
// weight wherever it falls (no thick and thin lines at 1.6x or 2.25x) and no blur spreads beyond
// that one pixel. Shrinking (a window smaller than the picture) blends the two nearest pixels.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace platform {

class PictureScaler {
 public:
  // Readies the scaling of a source_w x source_h picture to dest_w x dest_h.
  void Prepare(int source_w, int source_h, int dest_w, int dest_h);
  int DestWidth() const { return int(columns_.size()); }
  int DestHeight() const { return int(rows_.size()); }

  // The shown rows [first, second) that read any of the picture rows [first_source, end_source).
  std::pair<int, int> DestRowsOf(int first_source, int end_source) const;

  // Writes the shown rows [first, end) from the picture; `dest` is the shown picture's top-left.
  void ScaleRows(const uint32_t* source, int source_pitch, uint32_t* dest, int dest_pitch,
                 int first, int end);

 private:
  // One shown pixel along one axis: picture pixels `index` and `index + 1` mixed with `next`/256
  // of the second (0: the first alone).
  struct Tap {
    int index = 0;
    uint32_t next = 0;
    bool operator==(const Tap&) const = default;
  };
  static std::vector<Tap> Taps(int source, int dest);

  std::vector<Tap> columns_;
  std::vector<Tap> rows_;
  int source_w_ = 0;
  int source_h_ = 0;
  std::vector<uint32_t> mixed_;  // one picture row blended from two
};

}  // namespace platform
