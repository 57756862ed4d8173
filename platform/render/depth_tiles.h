// The farthest depth of each 8x8 tile of a band of rows, kept beside the depth buffer while a band
// is filled, so that a triangle lying wholly behind what is already drawn is passed over without
// being walked. A tile's figure is never below the depths under it: it is worked out when a test
// needs it, and kept as a bound while writes only bring depths nearer. Nothing carries over from
// one fill of the band to the next but the room of the tiles, which a fill begun again reuses.
#pragma once

#include <cstdint>
#include <vector>

namespace platform::render {

class DepthTiles {
 public:
  static constexpr int kTileShift = 3;
  static constexpr int kTile = 1 << kTileShift;

  // For rows [first_row, end_row) of a depth buffer `width` wide; every tile unknown.
  void Begin(const float* depth, int width, int first_row, int end_row);
  // True when every depth in the columns x0..x1 of rows y0..y1 (inside the band) is below z, so
  // that a depth test less-or-equal fails for any depth of z or more there. A depth that is not a
  // number lets everything through, so a tile holding one is never behind.
  // After a test that fails, the next few calls answer false untested, more of them the more
  // tests failed in a row: where nothing is hidden (a few blocks) the tests cost next to nothing,
  // and a false answer only means the triangle is walked.
  bool AllNearerThan(int x0, int x1, int y0, int y1, float z);
  // The same test, always made, and leaving the count of untested answers as it was: for a
  // test over a larger part that, when it fails, says nothing of the smaller parts tested next.
  bool AllNearerThanAlone(int x0, int x1, int y0, int y1, float z) {
    return Behind(x0, x1, y0, y1, z);
  }
  // The depth under columns x0..x1 of rows y0..y1 may have come nearer (a write that passed a
  // depth test): a tile's figure stays an upper bound, worked out anew only when a test needs it.
  void Nearer(int x0, int x1, int y0, int y1);
  // The depth there may have changed either way.
  void Written(int x0, int x1, int y0, int y1);

 private:
  static constexpr int kMostUntested = 7;
  bool Behind(int x0, int x1, int y0, int y1, float z);
  float Farthest(int tile_x, int tile_y);
  void Mark(int x0, int x1, int y0, int y1, bool keep_bound);

  const float* depth_ = nullptr;
  int width_ = 0, first_row_ = 0, end_row_ = 0;
  int columns_ = 0;
  std::vector<float> farthest_;
  std::vector<uint8_t> exact_;
  int backoff_ = 0;   // calls to answer untested after the next failure
  int untested_ = 0;  // calls still to answer untested
};

}  // namespace platform::render
