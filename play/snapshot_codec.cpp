#include "play/snapshot_codec.h"

#include <cmath>
#include <cstring>
#include <string>
#include <type_traits>

namespace {

constexpr uint32_t kFaceSide = Snapshot::kFaceTexels;

// Appends each field.
class Writer {
 public:
  explicit Writer(std::vector<uint8_t>* out) : out_(out) {}
  bool Ok() const { return true; }
  void U8(uint8_t& v) { out_->push_back(v); }
  void U32(uint32_t& v) {
    for (int i = 0; i < 4; ++i) out_->push_back(uint8_t(v >> (8 * i)));
  }
  void I32(int32_t& v) {
    uint32_t u = uint32_t(v);
    U32(u);
  }
  void F32(float& v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    U32(u);
  }
  void Bytes(uint8_t* p, size_t n) { out_->insert(out_->end(), p, p + n); }
  // Writing, a count is the vector's own size.
  bool Count(uint32_t& n, size_t size, uint32_t /*limit*/, size_t /*each*/, const char* /*what*/) {
    n = uint32_t(size);
    U32(n);
    return true;
  }

 private:
  std::vector<uint8_t>* out_;
};

// Takes each field, checking it against the bytes left; the first fault stops everything.
class Reader {
 public:
  Reader(const uint8_t* p, size_t n) : p_(p), left_(n) {}
  bool Ok() const { return why_.empty(); }
  const std::string& Why() const { return why_; }
  size_t Left() const { return left_; }
  void Fail(const std::string& why) {
    if (why_.empty()) why_ = why;
    left_ = 0;
  }
  void U8(uint8_t& v) {
    if (Take(1)) v = p_[-1];
  }
  void U32(uint32_t& v) {
    if (!Take(4)) return;
    v = uint32_t(p_[-4]) | uint32_t(p_[-3]) << 8 | uint32_t(p_[-2]) << 16 | uint32_t(p_[-1]) << 24;
  }
  void I32(int32_t& v) {
    uint32_t u = 0;
    U32(u);
    v = int32_t(u);
  }
  void F32(float& v) {
    uint32_t u = 0;
    U32(u);
    std::memcpy(&v, &u, 4);
    if (!std::isfinite(v)) Fail("the construction holds a number that is not finite");
  }
  void Bytes(uint8_t* p, size_t n) {
    if (Take(n)) std::memcpy(p, p_ - n, n);
  }
  // A count read and checked before anything is made for it: within the limit, and at most as
  // many items as the bytes left can hold at `each` bytes apiece.
  bool Count(uint32_t& n, size_t /*size*/, uint32_t limit, size_t each, const char* what) {
    n = 0;
    U32(n);
    if (!Ok()) return false;
    if (n > limit) {
      Fail(std::string("the construction claims too many ") + what + " (" + std::to_string(n) +
           ")");
      return false;
    }
    if (size_t(n) * each > left_) {
      Fail("the construction is shorter than it says");
      return false;
    }
    return true;
  }

 private:
  bool Take(size_t n) {
    if (n > left_) {
      Fail("the construction is shorter than it says");
      return false;
    }
    p_ += n;
    left_ -= n;
    return true;
  }
  const uint8_t* p_;
  size_t left_;
  std::string why_;
};

template <class IO>
void Visit(IO& io, Vec3& v) {
  io.F32(v.x), io.F32(v.y), io.F32(v.z);
}
template <class IO>
void Visit(IO& io, Vec4& v) {
  io.F32(v.x), io.F32(v.y), io.F32(v.z), io.F32(v.w);
}
template <class IO>
void Visit(IO& io, Snapshot::FaceRef& r) {
  io.I32(r.block), io.I32(r.face);
}
template <class IO>
void Visit(IO& io, Snapshot::Quad& q) {
  for (Vec3& c : q.corners) Visit(io, c);
  Visit(io, q.normal);
  io.F32(q.area012), io.F32(q.area230);
}

// The bytes of the head, of one block and of one handle, for the count checks.
constexpr size_t kQuadBytes = 17 * 4;
constexpr size_t kHeadBytes = 4 * 4 + 3 * 4 + 4 + 3 + 12 +
                              size_t(Snapshot::kTableTexels) * Snapshot::kTableTexels * 3 +
                              size_t(Snapshot::kCanvasWidth) * Snapshot::kCanvasHeight * 3 +
                              2 * kQuadBytes + 3 * 8 + 4 + 12 + 4;
constexpr size_t kFaceBytes = 5 * 4 + 8 + kFaceSide * kFaceSide * 3;
constexpr size_t kBlockBytes = 4 + (24 * 3 + 3 * 4 + 9 + 16 + 1 + 4) * 4 + 12 + 4 + 6 * kFaceBytes;
constexpr size_t kHandleBytes = 4 + 12 + 8;

template <class IO>
void Visit(IO& io, Snapshot::Block& b) {
  io.U32(b.id);
  // Corners and their saved copies side by side: at rest they are equal, which packs well.
  for (int k = 0; k < 8; ++k) Visit(io, b.corners[k]), Visit(io, b.savedCorners[k]);
  for (Vec3& v : b.velocities) Visit(io, v);
  Visit(io, b.centre), Visit(io, b.previousCentre), Visit(io, b.referenceCentre);
  Visit(io, b.size);
  for (Vec3& a : b.axes) Visit(io, a);
  for (float& f : b.restLengths) io.F32(f);
  io.F32(b.reachRadius);
  Visit(io, b.screenPosition);
  for (uint8_t& c : b.contact) io.U8(c);
  io.U8(b.visited), io.U8(b.onTable), io.U8(b.touched), io.U8(b.touchedBefore);
  io.I32(b.handle);
  for (Snapshot::Face& f : b.faces) {
    Visit(io, f.normal);
    io.F32(f.area012), io.F32(f.area230);
    Visit(io, f.link);
    io.Bytes(f.texels.data(), f.texels.size());
  }
}

template <class IO>
void Visit(IO& io, Snapshot::Handle& h) {
  io.U32(h.block);
  Visit(io, h.anchor);
  io.I32(h.screenX), io.I32(h.screenY);
}

// The sizes this version holds; a reader compares them with its own.
struct Sizes {
  uint32_t face = kFaceSide, table = Snapshot::kTableTexels;
  uint32_t canvasWidth = Snapshot::kCanvasWidth, canvasHeight = Snapshot::kCanvasHeight;
  bool operator==(const Sizes&) const = default;
};

template <class IO>
bool Visit(IO& io, Snapshot& s) {
  Sizes sizes;
  io.U32(sizes.face), io.U32(sizes.table), io.U32(sizes.canvasWidth), io.U32(sizes.canvasHeight);
  if (!io.Ok()) return false;
  if (!(sizes == Sizes())) {
    if constexpr (std::is_same_v<IO, Reader>)
      io.Fail("the construction was made for other picture sizes");
    return false;
  }
  io.F32(s.pitch), io.F32(s.yaw), io.F32(s.zoom);
  io.I32(s.tool);
  for (uint8_t& c : s.pen) io.U8(c);
  Visit(io, s.tableCentre);
  const size_t table_bytes = size_t(sizes.table) * sizes.table * 3;
  const size_t canvas_bytes = size_t(sizes.canvasWidth) * sizes.canvasHeight * 3;
  if constexpr (std::is_same_v<IO, Reader>) {
    // Both fixed by the sizes above, which were just checked: made only when the bytes are held.
    if (io.Ok() && io.Left() < table_bytes + canvas_bytes)
      io.Fail("the construction is shorter than it says");
    if (!io.Ok()) return false;
  }
  // A snapshot taken without either (no paintable table or canvas) writes them white.
  s.tableTexels.resize(table_bytes, 255);
  s.canvasPixels.resize(canvas_bytes, 255);
  io.Bytes(s.tableTexels.data(), table_bytes);
  io.Bytes(s.canvasPixels.data(), canvas_bytes);
  Visit(io, s.handleQuad), Visit(io, s.dragQuad);
  Visit(io, s.supportQuad), Visit(io, s.pendingFace), Visit(io, s.savedLink);
  io.I32(s.groupBlock);
  Visit(io, s.snapOffset);
  uint32_t blocks = 0, handles = 0;
  if (!io.Count(blocks, s.blocks.size(), kMaxSnapshotBlocks, kBlockBytes, "blocks")) return false;
  s.blocks.resize(blocks);
  for (Snapshot::Block& b : s.blocks) {
    Visit(io, b);
    if (!io.Ok()) return false;
  }
  // A block has at most one handle.
  if (!io.Count(handles, s.handles.size(), blocks, kHandleBytes, "handles")) return false;
  s.handles.resize(handles);
  for (Snapshot::Handle& h : s.handles) Visit(io, h);
  return io.Ok();
}

}  // namespace

size_t SnapshotBytesLimit(uint32_t blocks) {
  return 4096 + size_t(Snapshot::kTableTexels) * Snapshot::kTableTexels * 3 +
         size_t(Snapshot::kCanvasWidth) * Snapshot::kCanvasHeight * 3 +
         size_t(blocks) * (kBlockBytes + kHandleBytes);
}

const size_t kSnapshotHeadBytes = kHeadBytes;

bool CheckSnapshotVersion(uint32_t version, std::string* why) {
  if (version == 0) {
    *why = "the construction has no format version (0)";
    return false;
  }
  if (version > kSnapshotVersion) {
    *why = "the construction was saved by a newer Zentrova (format " + std::to_string(version) +
           "; this one reads up to " + std::to_string(kSnapshotVersion) + ")";
    return false;
  }
  return true;
}

bool CheckSnapshotHead(const uint8_t* head, size_t payload_bytes, std::string* why) {
  const auto u32 = [&](size_t at) {
    return uint32_t(head[at]) | uint32_t(head[at + 1]) << 8 | uint32_t(head[at + 2]) << 16 |
           uint32_t(head[at + 3]) << 24;
  };
  if (!(Sizes{u32(0), u32(4), u32(8), u32(12)} == Sizes())) {
    *why = "the construction was made for other picture sizes";
    return false;
  }
  const uint32_t blocks = u32(kHeadBytes - 4);
  if (blocks > kMaxSnapshotBlocks) {
    *why = "the construction claims too many blocks (" + std::to_string(blocks) + ")";
    return false;
  }
  const size_t least = kHeadBytes + size_t(blocks) * kBlockBytes + 4;
  if (payload_bytes < least) {
    *why = "the construction is shorter than its " + std::to_string(blocks) + " blocks";
    return false;
  }
  if ((payload_bytes - least) % kHandleBytes != 0) {
    *why = "the construction's length does not match its " + std::to_string(blocks) + " blocks";
    return false;
  }
  if (const size_t handles = (payload_bytes - least) / kHandleBytes; handles > blocks) {
    *why = "the construction claims too many handles (" + std::to_string(handles) + " for " +
           std::to_string(blocks) + " blocks)";
    return false;
  }
  return true;
}

std::vector<uint8_t> EncodeSnapshot(const Snapshot& snapshot) {
  std::vector<uint8_t> out;
  out.reserve(SnapshotBytesLimit(uint32_t(snapshot.blocks.size())));
  Writer writer(&out);
  Snapshot copy = snapshot;  // sizes made whole where the snapshot lacks them
  Visit(writer, copy);
  return out;
}

bool DecodeSnapshot(const uint8_t* bytes, size_t size, uint32_t version, Snapshot* out,
                    std::string* why) {
  if (!CheckSnapshotVersion(version, why)) return false;
  Snapshot s;
  Reader reader(bytes, size);
  Visit(reader, s);
  if (reader.Ok() && reader.Left() != 0)
    reader.Fail("the construction has bytes it does not explain");
  if (!reader.Ok()) {
    *why = reader.Why();
    return false;
  }
  if (!CheckSnapshot(s, why)) return false;
  *out = std::move(s);
  return true;
}
