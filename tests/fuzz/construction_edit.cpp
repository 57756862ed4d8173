#include "construction_edit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "construction_layout.h"
#include "platform/compression.h"
#include "platform/image/png_chunk.h"
#include "play/construction_file.h"
#include "play/snapshot_codec.h"

namespace fuzz {

uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutF32(uint8_t* p, float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  PutU32(p, u);
}

namespace {

void AppendU32(std::vector<uint8_t>* out, uint32_t v, bool big_endian) {
  for (int i = 0; i < 4; ++i) out->push_back(uint8_t(v >> (big_endian ? 24 - 8 * i : 8 * i)));
}
float GetF32(const uint8_t* p) {
  const uint32_t u = GetU32(p);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
enum class Kind { kF32, kI32, kId, kRef, kCount, kU8 };

// `count` fields of one kind side by side, `offset` bytes into their record.
struct Field {
  size_t offset;
  Kind kind;
  int count;
};

using namespace layout;

constexpr Field kHeadFields[] = {
    {kSizes, Kind::kI32, 4},      {kPitch, Kind::kF32, 3},       {kTool, Kind::kI32, 1},
    {kPen, Kind::kU8, 3},         {kTableCentre, Kind::kF32, 3}, {kHandleQuad, Kind::kF32, 17},
    {kDragQuad, Kind::kF32, 17},  {kSupportQuad, Kind::kRef, 3}, {kGroupBlock, Kind::kId, 1},
    {kSnapOffset, Kind::kF32, 3}, {kBlockCount, Kind::kCount, 1}};
// The faces' fields are found from the first face's, a face at a time.
constexpr Field kBlockFields[] = {
    {kBlockId, Kind::kId, 1},      {kCorners, Kind::kF32, 48},
    {kVelocities, Kind::kF32, 24}, {kCentre, Kind::kF32, 12},  // centre, previous, reference, size
    {kAxes, Kind::kF32, 9},        {kRestLengths, Kind::kF32, 16},
    {kReach, Kind::kF32, 5},  // reach, screen position
    {kContact, Kind::kU8, 12},     {kBlockHandle, Kind::kI32, 1}};
constexpr Field kFaceFields[] = {
    {kFaceNormal, Kind::kF32, 5}, {kFaceLink, Kind::kRef, 1}, {kFaceTexels, Kind::kU8, 8 * 8 * 3}};
constexpr Field kHandleFields[] = {
    {kHandleBlock, Kind::kId, 1}, {kHandleAnchor, Kind::kF32, 3}, {kHandleScreen, Kind::kI32, 2}};

constexpr uint32_t kInterestingInts[] = {0,
                                         1,
                                         uint32_t(-1),
                                         uint32_t(-2),
                                         uint32_t(-3),
                                         uint32_t(-4),
                                         uint32_t(-5),
                                         5,
                                         6,
                                         7,
                                         100,
                                         20000,
                                         20001,
                                         0x7ffffffe,
                                         0x7fffffff,
                                         0x80000000,
                                         0xfffffffe,
                                         0xffffffff};
const float kInterestingFloats[] = {0.0f,
                                    -0.0f,
                                    1.0f,
                                    -1.0f,
                                    2.0f,
                                    1e3f,
                                    1e4f,
                                    1e5f,
                                    1e6f,
                                    -1e6f,
                                    1e9f,
                                    -1e9f,
                                    1e10f,
                                    1e-3f,
                                    1e30f,
                                    1e21f,
                                    -1e21f,
                                    3e38f,
                                    -3e38f,
                                    std::numeric_limits<float>::max(),
                                    std::numeric_limits<float>::min(),
                                    std::numeric_limits<float>::denorm_min(),
                                    -1e-30f,
                                    std::numeric_limits<float>::quiet_NaN(),
                                    std::numeric_limits<float>::infinity(),
                                    -std::numeric_limits<float>::infinity()};

// The records as the counts lay them out, as far as the bytes reach.
struct Records {
  size_t blocks = 0;       // whole block records held
  size_t handleCount = 0;  // where the handle count lies, 0 when past the end
  size_t handles = 0;      // whole handle records held after it
};

Records Find(const std::vector<uint8_t>& p) {
  Records r;
  if (p.size() < kBlocks) return r;
  const size_t claimed = GetU32(p.data() + kBlockCount);
  r.blocks = std::min(claimed, (p.size() - kBlocks) / kBlockBytes);
  if (r.blocks == claimed && kBlocks + r.blocks * kBlockBytes + 4 <= p.size()) {
    r.handleCount = kBlocks + r.blocks * kBlockBytes;
    r.handles = (p.size() - r.handleCount - 4) / kHandleBytes;
  }
  return r;
}

class Editor {
 public:
  Editor(std::vector<uint8_t>* payload, uint32_t seed, ByteMutator bytes)
      : p_(*payload), random_(seed), bytes_(bytes), records_(Find(p_)) {}

  void Edit() {
    if (p_.size() < kBlocks) return RawEdit(0, p_.size());
    const int roll = Below(100);
    if (roll < 70) return FieldEdit();
    if (roll < 77) return EveryBlock();
    if (roll < 90) return Structure();
    RawRecord();
  }

 private:
  uint32_t Below(uint32_t n) { return n ? uint32_t(random_() % n) : 0; }
  bool Chance(uint32_t one_in) { return Below(one_in) == 0; }
  size_t BlockAt(size_t i) const { return kBlocks + i * kBlockBytes; }
  size_t HandleAt(size_t i) const { return records_.handleCount + 4 + i * kHandleBytes; }

  // An id the file holds, or one near it.
  uint32_t SomeId() {
    if (records_.blocks == 0) return Below(4);
    const uint32_t id = GetU32(&p_[BlockAt(Below(uint32_t(records_.blocks))) + kBlockId]);
    return Chance(4) ? id + 1 : id;
  }
  uint32_t IntValue(Kind kind) {
    if ((kind == Kind::kId || kind == Kind::kRef) && Chance(2)) return SomeId();
    return kInterestingInts[Below(std::size(kInterestingInts))];
  }
  float FloatValue(float now) {
    switch (Below(6)) {
      case 0:
        return -now;
      case 1:
        return now * 1e10f;
      case 2:
        return now + float(int(Below(9)) - 4);
      default:
        return kInterestingFloats[Below(std::size(kInterestingFloats))];
    }
  }

  // One field, or a vector's worth of them, or all of its kind side by side.
  void Set(size_t record, const Field& field) {
    const int first = int(Below(uint32_t(field.count)));
    int n = 1;
    if (field.kind == Kind::kF32 && Chance(3)) n = Chance(3) ? field.count : 3;
    if (first + n > field.count) n = field.count - first;
    const size_t width = field.kind == Kind::kU8 ? 1 : field.kind == Kind::kRef ? 8 : 4;
    uint8_t* at = &p_[record + field.offset + size_t(first) * width];
    switch (field.kind) {
      case Kind::kF32:
        if (Chance(5)) {  // another float of the same record
          const size_t from =
              record + 4 * Below(uint32_t(std::min<size_t>(kBlockBytes, p_.size() - record) / 4));
          for (int i = 0; i < n; ++i) std::memcpy(at + 4 * i, &p_[from], 4);
          return;
        }
        {
          const float value = FloatValue(GetF32(at));
          const bool same = Chance(2);
          for (int i = 0; i < n; ++i)
            PutF32(at + 4 * i, same ? value : FloatValue(GetF32(at + 4 * i)));
        }
        return;
      case Kind::kRef:
        if (Chance(3)) {
          PutU32(at, kInterestingInts[2 + Below(4)]);  // the fixed records, -1 to -4
          PutU32(at + 4, Below(2) ? 0 : Below(8));
        } else if (Chance(2)) {
          PutU32(at, IntValue(field.kind));
        } else {
          PutU32(at + 4, IntValue(Kind::kI32));
        }
        return;
      case Kind::kCount: {
        const uint32_t now = GetU32(at);
        const uint32_t values[] = {0, now + 1, now - 1, 20000, 20001, 0xffffffffu, now * 2};
        PutU32(at, values[Below(std::size(values))]);
        return;
      }
      case Kind::kU8:
        for (int i = 0; i < n; ++i)
          at[i] = Chance(2) ? uint8_t(Below(256)) : uint8_t(Below(3) * 127);
        return;
      default:
        PutU32(at, IntValue(field.kind));
    }
  }

  void FieldEdit() {
    const uint32_t where = Below(20);
    if (where < 4 || records_.blocks == 0) {
      const Field& field = kHeadFields[Below(std::size(kHeadFields))];
      if (field.offset == kSizes && !Chance(8)) return FieldEdit();  // mostly refused at once
      return Set(0, field);
    }
    if (where < 6 && records_.handleCount) {
      if (records_.handles == 0 || Chance(4))
        return Set(records_.handleCount, {0, Kind::kCount, 1});
      return Set(HandleAt(Below(uint32_t(records_.handles))),
                 kHandleFields[Below(std::size(kHandleFields))]);
    }
    const size_t block = BlockAt(Below(uint32_t(records_.blocks)));
    if (Chance(3)) {  // glue most often, texels seldom
      const uint32_t roll = Below(8);
      const Field& face = kFaceFields[roll < 4 ? 1 : roll < 7 ? 0 : 2];
      return Set(block + kFaces + Below(6) * kFaceBytes, face);
    }
    Set(block, kBlockFields[Below(std::size(kBlockFields))]);
  }

  // Every block stretched, moved far, flattened or turned inside out about its centre, or one
  // field the same in each.
  void EveryBlock() {
    if (records_.blocks == 0) return FieldEdit();
    if (Chance(2)) {
      const float factors[] = {1e21f, 1e6f, 1e18f, -1.0f, 0.0f, 3e38f};
      const float factor = factors[Below(std::size(factors))];
      for (size_t i = 0; i < records_.blocks; ++i) {
        uint8_t* b = &p_[BlockAt(i)];
        for (int k = 0; k < 8; ++k)
          for (int axis = 0; axis < 3; ++axis) {
            const float centre = GetF32(b + kCentre + 4 * axis);
            for (size_t copy : {size_t(0), size_t(12)}) {
              uint8_t* c = b + kCorners + 24 * k + copy + 4 * axis;
              PutF32(c, centre + (GetF32(c) - centre) * factor);
            }
          }
      }
      return;
    }
    const Field& field = kBlockFields[1 + Below(std::size(kBlockFields) - 1)];  // not the ids
    const uint32_t seed = uint32_t(random_());
    for (size_t i = 0; i < records_.blocks; ++i) {
      random_.seed(seed);
      Set(BlockAt(i), field);
    }
  }

  // A block removed or doubled (same id or a new one), every block and handle gone, a handle
  // removed.
  void Structure() {
    const size_t n = records_.blocks;
    if (n == 0 || !records_.handleCount) return FieldEdit();
    const uint32_t what = Below(5);
    if (what == 0) {
      const size_t i = Below(uint32_t(n));
      p_.erase(p_.begin() + ptrdiff_t(BlockAt(i)), p_.begin() + ptrdiff_t(BlockAt(i + 1)));
      PutU32(&p_[kBlockCount], uint32_t(n - 1));
    } else if (what <= 2) {
      const size_t i = Below(uint32_t(n));
      std::vector<uint8_t> copy(p_.begin() + ptrdiff_t(BlockAt(i)),
                                p_.begin() + ptrdiff_t(BlockAt(i + 1)));
      if (what == 2) PutU32(&copy[kBlockId], IntValue(Kind::kId));
      PutU32(&copy[kBlockHandle], uint32_t(-1));
      p_.insert(p_.begin() + ptrdiff_t(BlockAt(Below(uint32_t(n + 1)))), copy.begin(), copy.end());
      PutU32(&p_[kBlockCount], uint32_t(n + 1));
    } else if (what == 3) {
      // Nothing left: no blocks, no handles, the hand's records naming none.
      p_.resize(kBlocks + 4);
      PutU32(&p_[kBlockCount], 0);
      PutU32(&p_[kBlocks], 0);
      if (!Chance(4))
        for (size_t ref : {kSupportQuad, kPendingFace, kSavedLink}) PutU32(&p_[ref], uint32_t(-1));
      if (!Chance(4)) PutU32(&p_[kGroupBlock], uint32_t(-1));
    } else if (records_.handles > 0) {
      const size_t i = Below(uint32_t(records_.handles));
      p_.erase(p_.begin() + ptrdiff_t(HandleAt(i)), p_.begin() + ptrdiff_t(HandleAt(i + 1)));
      PutU32(&p_[records_.handleCount], uint32_t(records_.handles - 1));
    }
  }

  // The byte mutator over one record: the head's records after the canvas, a block or the
  // handles. Its size may change, as a count that lies does.
  void RawRecord() {
    if (records_.blocks > 0 && !Chance(4)) {
      const size_t at = BlockAt(Below(uint32_t(records_.blocks)));
      return RawEdit(at, kBlockBytes);
    }
    if (records_.handleCount && Chance(2))
      return RawEdit(records_.handleCount, p_.size() - records_.handleCount);
    RawEdit(kHandleQuad, kBlocks - kHandleQuad);
  }
  void RawEdit(size_t at, size_t n) {
    std::vector<uint8_t> piece(p_.begin() + ptrdiff_t(at), p_.begin() + ptrdiff_t(at + n));
    piece.resize(n + 64);
    piece.resize(bytes_(piece.data(), n, piece.size()));
    p_.erase(p_.begin() + ptrdiff_t(at), p_.begin() + ptrdiff_t(at + n));
    p_.insert(p_.begin() + ptrdiff_t(at), piece.begin(), piece.end());
  }

  std::vector<uint8_t>& p_;
  std::minstd_rand random_;
  ByteMutator bytes_;
  Records records_;
};

size_t Fit(const std::vector<uint8_t>& png, uint8_t* out, size_t max_size) {
  if (png.empty() || png.size() > max_size) return 0;
  std::memcpy(out, png.data(), png.size());
  return png.size();
}

}  // namespace

bool Unpack(const uint8_t* data, size_t size, UnpackedConstruction* out) {
  const uint8_t* chunk = nullptr;
  uint32_t length = 0;
  std::string why;
  if (platform::image::FindPngChunk(data, size, kConstructionChunk, &chunk, &length, &why) !=
          platform::image::ChunkSearch::kFound ||
      length < 12)
    return false;
  out->version = GetU32(chunk);
  if (!platform::Decompress(chunk + 12, length - 12, GetU32(chunk + 4), SnapshotBytesLimit(),
                            &out->payload, &why))
    return false;
  // The chunk's length and type before its data, its CRC after.
  out->before.assign(data, chunk - 8);
  out->after.assign(chunk + length + 4, data + size);
  return true;
}

std::vector<uint8_t> Repack(const UnpackedConstruction& c) {
  const std::vector<uint8_t> packed = platform::Compress(c.payload.data(), c.payload.size());
  std::vector<uint8_t> png = c.before;
  png.reserve(c.before.size() + packed.size() + 24 + c.after.size());
  AppendU32(&png, uint32_t(12 + packed.size()), true);
  const size_t type = png.size();
  png.insert(png.end(), kConstructionChunk, kConstructionChunk + 4);
  AppendU32(&png, c.version, false);
  AppendU32(&png, uint32_t(c.payload.size()), false);
  AppendU32(&png, platform::Crc32(c.payload.data(), c.payload.size()), false);
  png.insert(png.end(), packed.begin(), packed.end());
  AppendU32(&png, platform::Crc32(&png[type], png.size() - type), true);
  png.insert(png.end(), c.after.begin(), c.after.end());
  return png;
}

size_t MutateConstruction(uint8_t* data, size_t size, size_t max_size, uint32_t seed,
                          ByteMutator bytes) {
  UnpackedConstruction c;
  // Now and then the wrapping itself, so that the readers' own checks stay covered.
  if (seed % 32 == 0 || !Unpack(data, size, &c)) return bytes(data, size, max_size);
  Editor(&c.payload, seed, bytes).Edit();
  const size_t n = Fit(Repack(c), data, max_size);
  return n ? n : bytes(data, size, max_size);
}

size_t CrossOverConstructions(const uint8_t* data1, size_t size1, const uint8_t* data2,
                              size_t size2, uint8_t* out, size_t max_out_size, uint32_t seed) {
  UnpackedConstruction one, two;
  if (!Unpack(data1, size1, &one) || !Unpack(data2, size2, &two)) return 0;
  std::vector<uint8_t>& p = one.payload;
  const std::vector<uint8_t>& q = two.payload;
  const Records a = Find(p), b = Find(q);
  std::minstd_rand random(seed);
  if (a.blocks > 0 && b.blocks > 0 && random() % 4 != 0) {
    const size_t to = kBlocks + random() % a.blocks * kBlockBytes;
    const size_t from = kBlocks + random() % b.blocks * kBlockBytes;
    std::copy(q.begin() + ptrdiff_t(from), q.begin() + ptrdiff_t(from + kBlockBytes),
              p.begin() + ptrdiff_t(to));
  } else if (p.size() >= kBlocks && q.size() >= kBlocks) {
    std::copy(q.begin() + ptrdiff_t(kPitch), q.begin() + ptrdiff_t(kPen),
              p.begin() + ptrdiff_t(kPitch));
    std::copy(q.begin() + ptrdiff_t(kHandleQuad), q.begin() + ptrdiff_t(kBlockCount),
              p.begin() + ptrdiff_t(kHandleQuad));
  } else {
    return 0;
  }
  return Fit(Repack(one), out, max_out_size);
}

}  // namespace fuzz
