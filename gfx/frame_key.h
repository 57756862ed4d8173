// What a picture is drawn from, as plain bytes: the play and title scenes key their frames with
// it, the block set its front pick buffer. Two equal keys mean the same picture, so a frame (or
// a buffer fill) whose key matches the one already drawn need not be drawn again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

class FrameKey {
 public:
  // Starts a new key, keeping the memory of the last one.
  void Clear() { bytes_.clear(); }
  // Values are compared byte for byte (so -0 and 0 differ, and a NaN equals itself): only types
  // without padding bytes belong here.
  template <class T>
  void Add(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>, "keys hold plain values");
    AddBytes(&value, sizeof value);
  }
  void AddBytes(const void* data, size_t size) {
    const size_t at = bytes_.size();
    bytes_.resize(at + size);
    std::memcpy(bytes_.data() + at, data, size);
  }
  bool Empty() const { return bytes_.empty(); }
  bool operator==(const FrameKey& other) const { return bytes_ == other.bytes_; }
  void Swap(FrameKey& other) { bytes_.swap(other.bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};
