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

void RenderDevice::GroupKept() {
  fill_planned_ = false;
  // Only a scene filled nearest first needs groups: those kept before it grew so large are
  // grouped when it gets there.
  if (scene_triangles_.size() >= nearest_first_from_) GroupUpTo(scene_triangles_.size());
}

void RenderDevice::GroupUpTo(size_t count) const {
  while (grouped_ < count) Group(uint32_t(grouped_++));
}

void RenderDevice::Group(uint32_t i) const {
  const KeptTriangle& t = scene_triangles_[i];
  if (!FillsInAnyOrder(t)) {
    kept_groups_.push_back({i, 1, false, NAN, NAN, NAN});
    return;
  }
  // A run of triangles of any order is cut into groups from its first.
  if (kept_groups_.empty() || !kept_groups_.back().any_order ||
      kept_groups_.back().count == kGroupTriangles)
    kept_groups_.push_back({i, 0, true, INFINITY, -INFINITY, INFINITY});
  FillGroup& group = kept_groups_.back();
  group.nearest = std::min({group.nearest, t.a.z, t.b.z, t.c.z});
  // A vertex y not a number leaves the group in every band.
  for (float y : {t.a.y, t.b.y, t.c.y}) {
    group.highest_y = y < group.highest_y || std::isnan(y) ? y : group.highest_y;
    group.lowest_y = y > group.lowest_y || std::isnan(y) ? y : group.lowest_y;
  }
  ++group.count;
}

void RenderDevice::ForgetKeptTriangles() {
  scene_triangles_.clear();
  kept_groups_.clear();
  grouped_ = 0;
  fill_planned_ = false;
}

const std::vector<RenderDevice::FillGroup>& RenderDevice::PlannedFill() const {
  std::lock_guard<std::mutex> lock(plan_mutex_);
  if (fill_planned_) return fill_plan_;
  GroupUpTo(scene_triangles_.size());
  // Drawing order, then each run of groups of any order nearest first.
  fill_plan_.assign(kept_groups_.begin(), kept_groups_.end());
  size_t g = 0;
  while (g < kept_groups_.size()) {
    if (!kept_groups_[g].any_order) {
      ++g;
      continue;
    }
    // A counting sort into depth classes: only the order within the run is at stake, never the
    // pixels, so classes need not be exact.
    const size_t run_first = g;
    float low = INFINITY, high = -INFINITY;
    for (; g < kept_groups_.size() && kept_groups_[g].any_order; ++g) {
      low = std::min(low, kept_groups_[g].nearest);
      high = std::max(high, kept_groups_[g].nearest);
    }
    const double from = low, span = double(high) - double(low);
    if (!(span > 0.0)) continue;
    const double scale = double(kDepthClasses - 1) / span;
    auto depth_class = [&](const FillGroup& group) {
      return std::min(size_t((double(group.nearest) - from) * scale), kDepthClasses - 1);
    };
    bucket_starts_.assign(kDepthClasses + 1, 0);
    for (size_t k = run_first; k < g; ++k) ++bucket_starts_[depth_class(kept_groups_[k]) + 1];
    for (size_t k = 1; k <= kDepthClasses; ++k) bucket_starts_[k] += bucket_starts_[k - 1];
    for (size_t k = run_first; k < g; ++k)
      fill_plan_[run_first + bucket_starts_[depth_class(kept_groups_[k])]++] = kept_groups_[k];
  }
  fill_planned_ = true;
  return fill_plan_;
}

}  // namespace platform::render
