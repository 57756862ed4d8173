// The order a large scene's kept triangles are filled in: nearest first, so that the depth tiles
// pass over more of what lies behind.
//
// Filled in drawing order under a depth test less-or-equal, each pixel ends with the triangle of
// least depth there, of equal depths the one drawn last: the least of (depth, -drawing number).
// That least is the same whatever order the triangles come in, once a depth equal to the one held
// is written only over an earlier drawing number, so the groups may be filled in any order, and
// every pixel, depth and texel comes out the same. It holds only while depths are numbers (a
// comparison with one that is not lets a triangle through whatever its place), and only for
// triangles whose spans keep the drawing numbers; the others are filled in their place.
#include <algorithm>
#include <cmath>

#include "platform/render/render_device.h"

namespace platform::render {

namespace {

// Triangles of a group: a block's six faces, two triangles each.
constexpr uint32_t kGroupTriangles = 12;
// Depth classes of the counting sort: enough that a class holds few groups.
constexpr size_t kDepthClasses = 1024;

bool PowerOfTwo(int n) {
  return n > 0 && (n & (n - 1)) == 0;
}

// Depths of vertices within this bound stay far inside the float range over every sum of
// gradients the fill makes inside the guard band, so no pixel's depth can become not a number.
bool PlainDepth(float z) {
  return std::fabs(z) < 1.0e6f;
}

}  // namespace

bool RenderDevice::FillsInAnyOrder(const KeptTriangle& t) const {
  const FillState& state = scene_states_[size_t(t.state)];
  return state.z_test && state.z_write && state.texture && PowerOfTwo(state.texture->Width()) &&
         PowerOfTwo(state.texture->Height()) && t.a.color == t.b.color && t.b.color == t.c.color &&
         PlainDepth(t.a.z) && PlainDepth(t.b.z) && PlainDepth(t.c.z);
}

const std::vector<RenderDevice::FillGroup>& RenderDevice::PlannedFill() const {
  std::lock_guard<std::mutex> lock(plan_mutex_);
  if (fill_planned_) return fill_plan_;
  fill_plan_.clear();
  const uint32_t count = uint32_t(scene_triangles_.size());
  uint32_t i = 0;
  while (i < count) {
    if (!FillsInAnyOrder(scene_triangles_[i])) {
      fill_plan_.push_back({i, 1, false, NAN, NAN});
      ++i;
      continue;
    }
    // A run of triangles of any order, cut into groups, each known by its nearest vertex.
    const size_t run_first = fill_plan_.size();
    group_nearest_.clear();
    while (i < count && FillsInAnyOrder(scene_triangles_[i])) {
      FillGroup group{i, 0, true, INFINITY, -INFINITY};
      float nearest = INFINITY;
      do {
        const KeptTriangle& t = scene_triangles_[i];
        nearest = std::min({nearest, t.a.z, t.b.z, t.c.z});
        // A vertex y not a number leaves the group in every band.
        for (float y : {t.a.y, t.b.y, t.c.y}) {
          group.highest_y = y < group.highest_y || std::isnan(y) ? y : group.highest_y;
          group.lowest_y = y > group.lowest_y || std::isnan(y) ? y : group.lowest_y;
        }
        ++group.count;
        ++i;
      } while (i < count && group.count < kGroupTriangles && FillsInAnyOrder(scene_triangles_[i]));
      fill_plan_.push_back(group);
      group_nearest_.push_back(nearest);
    }
    // Nearest first by a counting sort into depth classes; only the order within the run is at
    // stake, never the pixels, so classes need not be exact.
    const auto [low, high] = std::minmax_element(group_nearest_.begin(), group_nearest_.end());
    const double from = *low, span = double(*high) - double(*low);
    if (span <= 0.0) continue;
    const double scale = double(kDepthClasses - 1) / span;
    auto depth_class = [&](float z) {
      return std::min(size_t((double(z) - from) * scale), kDepthClasses - 1);
    };
    bucket_starts_.assign(kDepthClasses + 1, 0);
    for (float z : group_nearest_) ++bucket_starts_[depth_class(z) + 1];
    for (size_t k = 1; k <= kDepthClasses; ++k) bucket_starts_[k] += bucket_starts_[k - 1];
    sorted_groups_.resize(group_nearest_.size());
    for (size_t g = 0; g < group_nearest_.size(); ++g)
      sorted_groups_[bucket_starts_[depth_class(group_nearest_[g])]++] = fill_plan_[run_first + g];
    std::copy(sorted_groups_.begin(), sorted_groups_.end(), fill_plan_.begin() + run_first);
  }
  fill_planned_ = true;
  return fill_plan_;
}

}  // namespace platform::render
