#include "play/history.h"

#include <cstring>
#include <unordered_map>
#include <utility>

namespace {

// Bit for bit, as the restored state must be: a NaN equals itself, -0 differs from +0.
template <class T>
bool Same(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}
bool SameVec3s(const Vec3* a, const Vec3* b, int n) {
  return std::memcmp(a, b, sizeof(Vec3) * size_t(n)) == 0;
}

bool SameFaceRef(const Snapshot::FaceRef& a, const Snapshot::FaceRef& b) {
  return a.block == b.block && a.face == b.face;
}

bool SameQuad(const Snapshot::Quad& a, const Snapshot::Quad& b) {
  return SameVec3s(a.corners, b.corners, 4) && Same(a.normal, b.normal) &&
         Same(a.area012, b.area012) && Same(a.area230, b.area230);
}

// What a person sees of a block: where it stands, what it is glued to, its paint, its handle.
bool SameLook(const Snapshot::Block& a, const Snapshot::Block& b) {
  if (!SameVec3s(a.corners, b.corners, 8) || a.handle != b.handle) return false;
  for (int f = 0; f < 6; ++f)
    if (!SameFaceRef(a.faces[f].link, b.faces[f].link) || a.faces[f].texels != b.faces[f].texels)
      return false;
  return true;
}

// Everything else the block carries into the next frames. Its screen position is left out: every
// refresh of the grab layer works it out anew from the centre and the camera before reading it,
// and a restore works it out for the camera then.
bool SameHidden(const Snapshot::Block& a, const Snapshot::Block& b) {
  if (!SameVec3s(a.savedCorners, b.savedCorners, 8) || !SameVec3s(a.velocities, b.velocities, 8) ||
      !Same(a.centre, b.centre) || !Same(a.previousCentre, b.previousCentre) ||
      !Same(a.referenceCentre, b.referenceCentre) || !Same(a.size, b.size) ||
      !SameVec3s(a.axes, b.axes, 3) ||
      std::memcmp(a.restLengths, b.restLengths, sizeof a.restLengths) ||
      !Same(a.reachRadius, b.reachRadius) || std::memcmp(a.contact, b.contact, sizeof a.contact) ||
      a.visited != b.visited || a.onTable != b.onTable || a.touched != b.touched ||
      a.touchedBefore != b.touchedBefore)
    return false;
  for (int f = 0; f < 6; ++f)
    if (!Same(a.faces[f].normal, b.faces[f].normal) ||
        !Same(a.faces[f].area012, b.faces[f].area012) ||
        !Same(a.faces[f].area230, b.faces[f].area230))
      return false;
  return true;
}

bool SameHandles(const std::vector<Snapshot::Handle>& a, const std::vector<Snapshot::Handle>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].block != b[i].block || !Same(a[i].anchor, b[i].anchor) ||
        a[i].screenX != b[i].screenX || a[i].screenY != b[i].screenY)
      return false;
  return true;
}

// The hand's records: the quads and the glue state of the drag attachment.
bool SameHandRecords(const Snapshot& a, const Snapshot& b) {
  return SameQuad(a.handleQuad, b.handleQuad) && SameQuad(a.dragQuad, b.dragQuad) &&
         SameFaceRef(a.supportQuad, b.supportQuad) && SameFaceRef(a.pendingFace, b.pendingFace) &&
         SameFaceRef(a.savedLink, b.savedLink) && a.groupBlock == b.groupBlock &&
         Same(a.snapOffset, b.snapOffset);
}

// A snapshot's records but its blocks, canvas and table texels.
Snapshot Rest(const Snapshot& s) {
  Snapshot rest;
  rest.pitch = s.pitch, rest.yaw = s.yaw, rest.zoom = s.zoom, rest.tool = s.tool;
  std::memcpy(rest.pen, s.pen, 3);
  rest.tableCentre = s.tableCentre;
  rest.handleQuad = s.handleQuad, rest.dragQuad = s.dragQuad;
  rest.supportQuad = s.supportQuad, rest.pendingFace = s.pendingFace, rest.savedLink = s.savedLink;
  rest.groupBlock = s.groupBlock;
  rest.snapOffset = s.snapOffset;
  rest.handles = s.handles;
  return rest;
}

std::vector<uint32_t> Order(const Snapshot& s) {
  std::vector<uint32_t> ids(s.blocks.size());
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = s.blocks[i].id;
  return ids;
}

}  // namespace

void History::RowDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                            size_t row_bytes, Rows* from, Rows* to) {
  if (a.size() != b.size() || row_bytes == 0) return;
  std::vector<int32_t> rows;
  for (size_t at = 0; at + row_bytes <= a.size(); at += row_bytes)
    if (std::memcmp(&a[at], &b[at], row_bytes) != 0) rows.push_back(int32_t(at / row_bytes));
  if (rows.empty()) return;
  for (auto [picture, side] : {std::pair{&a, from}, std::pair{&b, to}}) {
    side->numbers.assign(rows.begin(), rows.end());
    side->bytes.reserve(rows.size() * row_bytes);
    for (int32_t row : rows) {
      const auto begin = picture->begin() + long(size_t(row) * row_bytes);
      side->bytes.insert(side->bytes.end(), begin, begin + long(row_bytes));
    }
  }
}

void History::PutRows(const Rows& rows, std::vector<uint8_t>* picture) {
  if (rows.numbers.empty()) return;
  const size_t row_bytes = rows.bytes.size() / rows.numbers.size();
  for (size_t i = 0; i < rows.numbers.size(); ++i)
    std::memcpy(picture->data() + size_t(rows.numbers[i]) * row_bytes,
                rows.bytes.data() + i * row_bytes, row_bytes);
}

History::Step History::Difference(const Snapshot& a, const Snapshot& b, bool* seen) {
  Step step;
  *seen = false;
  std::vector<uint32_t> order_a = Order(a), order_b = Order(b);
  if (order_a != order_b) {
    step.before.order = std::move(order_a);
    step.after.order = std::move(order_b);
    *seen = true;
  }
  // The blocks that differ, found first so that each side takes just the room its records need.
  std::unordered_map<uint32_t, const Snapshot::Block*> in_a;
  in_a.reserve(a.blocks.size());
  for (const Snapshot::Block& block : a.blocks) in_a.emplace(block.id, &block);
  std::vector<std::pair<const Snapshot::Block*, const Snapshot::Block*>> changed;  // a's, b's
  size_t before_count = 0;
  for (const Snapshot::Block& block : b.blocks) {
    auto found = in_a.find(block.id);
    if (found == in_a.end()) {
      changed.emplace_back(nullptr, &block);
      continue;
    }
    const Snapshot::Block& old = *found->second;
    in_a.erase(found);
    const bool look = SameLook(old, block);
    if (look && SameHidden(old, block)) continue;
    *seen = *seen || !look;
    changed.emplace_back(&old, &block);
    ++before_count;
  }
  step.before.blocks.reserve(before_count + in_a.size());
  step.after.blocks.reserve(changed.size());
  for (const auto& [old, block] : changed) {
    if (old) step.before.blocks.push_back(*old);
    step.after.blocks.push_back(*block);
  }
  for (const auto& [id, block] : in_a) step.before.blocks.push_back(*block);
  const size_t canvas_row = size_t(Snapshot::kCanvasWidth) * 3;
  const size_t table_row = size_t(Snapshot::kTableTexels) * 3;
  RowDifference(a.canvasPixels, b.canvasPixels, canvas_row, &step.before.canvas,
                &step.after.canvas);
  RowDifference(a.tableTexels, b.tableTexels, table_row, &step.before.table, &step.after.table);
  *seen = *seen || !step.after.canvas.numbers.empty() || !step.after.table.numbers.empty() ||
          !Same(a.tableCentre, b.tableCentre) || !SameHandles(a.handles, b.handles);
  step.before.rest = Rest(a);
  step.after.rest = Rest(b);
  step.bytes = BytesOf(step);
  return step;
}

void History::Apply(Snapshot* state, const Side& side) {
  // The records but the blocks, canvas and table texels; the camera, tool and pen are the
  // caller's, not the history's.
  Snapshot& s = *state;
  s.tableCentre = side.rest.tableCentre;
  s.handleQuad = side.rest.handleQuad, s.dragQuad = side.rest.dragQuad;
  s.supportQuad = side.rest.supportQuad, s.pendingFace = side.rest.pendingFace;
  s.savedLink = side.rest.savedLink, s.groupBlock = side.rest.groupBlock;
  s.snapOffset = side.rest.snapOffset;
  s.handles = side.rest.handles;
  PutRows(side.canvas, &s.canvasPixels);
  PutRows(side.table, &s.tableTexels);
  if (!side.order) {
    // The same blocks in the same order: the changed ones are written over where they stand.
    std::unordered_map<uint32_t, size_t> at;
    at.reserve(s.blocks.size());
    for (size_t i = 0; i < s.blocks.size(); ++i) at.emplace(s.blocks[i].id, i);
    for (const Snapshot::Block& block : side.blocks) s.blocks[at.at(block.id)] = block;
    return;
  }
  std::unordered_map<uint32_t, const Snapshot::Block*> by_id;
  for (const Snapshot::Block& block : s.blocks) by_id[block.id] = &block;
  for (const Snapshot::Block& block : side.blocks) by_id[block.id] = &block;
  std::vector<Snapshot::Block> blocks;
  blocks.reserve(side.order->size());
  for (uint32_t id : *side.order) blocks.push_back(*by_id.at(id));
  s.blocks = std::move(blocks);
}

void History::Reset(Snapshot now) {
  current_ = std::move(now);
  steps_.clear();
  done_ = 0;
  bytes_ = 0;
}

bool History::Record(Snapshot now) {
  bool seen = false;
  Step step = Difference(current_, now, &seen);
  if (!seen) {
    // The hand's hidden records alone (a press that moved nothing, the camera, the tool). Before
    // any step they are where the first starts; at the newest step they join it, so that a redo
    // comes back to them; with steps to redo they are left to the next step, whose undo takes
    // them back too.
    const bool hidden =
        !step.before.blocks.empty() || !SameHandRecords(step.before.rest, step.after.rest);
    if (hidden && done_ == 0 && steps_.empty()) {
      current_ = std::move(now);  // nothing to undo to: they are how the next step starts
    } else if (hidden && done_ > 0 && done_ == steps_.size()) {
      Step& last = steps_[done_ - 1];
      Snapshot before = current_;
      Apply(&before, last.before);
      Step joined = Difference(before, now, &seen);
      bytes_ = bytes_ - last.bytes + joined.bytes;
      last = std::move(joined);
      current_ = std::move(now);
      Trim();  // the joined step may have grown past the bound
    }
    return false;
  }
  DropRedo();
  current_ = std::move(now);
  bytes_ += step.bytes;
  steps_.push_back(std::move(step));
  ++done_;
  Trim();
  return true;
}

bool History::Undo() {
  if (done_ == 0) return false;
  Apply(&current_, steps_[done_ - 1].before);
  --done_;
  return true;
}

bool History::Redo() {
  if (done_ == steps_.size()) return false;
  Apply(&current_, steps_[done_].after);
  ++done_;
  return true;
}

void History::DropRedo() {
  while (steps_.size() > done_) {
    bytes_ -= steps_.back().bytes;
    steps_.pop_back();
  }
}

void History::Trim() {
  while (!steps_.empty() && (bytes_ > kMaxBytes || steps_.size() > kMaxSteps)) {
    bytes_ -= steps_.front().bytes;
    steps_.pop_front();
    if (done_ > 0) --done_;
  }
}

size_t History::BytesOf(const Step& step) {
  // Capacities, not sizes: the room the vectors hold is what the heap gives them.
  size_t bytes = sizeof(Step);
  for (const Side* side : {&step.before, &step.after}) {
    if (side->order) bytes += side->order->capacity() * sizeof(uint32_t);
    bytes += side->blocks.capacity() * sizeof(Snapshot::Block) +
             side->rest.handles.capacity() * sizeof(Snapshot::Handle);
    for (const Rows* rows : {&side->canvas, &side->table})
      bytes += rows->numbers.capacity() * sizeof(int32_t) + rows->bytes.capacity();
  }
  return bytes;
}
