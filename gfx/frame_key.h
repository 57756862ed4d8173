// What a picture is drawn from, as plain bytes: the play and title scenes key their frames with
// it, the block set its front pick buffer. Two equal keys mean the same picture, so a frame (or
// a buffer fill) whose key matches the one already drawn need not be drawn again.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>
#include <utility>

class FrameKey {
 public:
  // Starts a new key, keeping the memory of the last one.
  void Clear() { size_ = 0; }
  // Values are compared byte for byte (so -0 and 0 differ, and a NaN equals itself): only types
  // without padding bytes belong here.
  template <class T>
  void Add(const T& value) {
    static_assert(std::is_trivially_copyable_v<T>, "keys hold plain values");
    AddBytes(&value, sizeof value);
  }
  // A frame's key takes about 1,300 of these: one copy each, no zero-fill before it.
  void AddBytes(const void* data, size_t size) {
    if (size > capacity_ - size_) Grow(size);
    std::memcpy(bytes_.get() + size_, data, size);
    size_ += size;
  }
  bool Empty() const { return size_ == 0; }
  size_t Size() const { return size_; }
  // Whether both keys begin with the same first `size` bytes.
  bool SameStart(const FrameKey& other, size_t size) const {
    return size <= size_ && size <= other.size_ &&
           (size == 0 || std::memcmp(bytes_.get(), other.bytes_.get(), size) == 0);
  }
  bool operator==(const FrameKey& other) const {
    return size_ == other.size_ &&
           (size_ == 0 || std::memcmp(bytes_.get(), other.bytes_.get(), size_) == 0);
  }
  void Swap(FrameKey& other) {
    bytes_.swap(other.bytes_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  void Grow(size_t more) {
    const size_t capacity = std::max(2 * capacity_, size_ + more);
    auto bytes = std::make_unique<uint8_t[]>(capacity);
    if (size_ > 0) std::memcpy(bytes.get(), bytes_.get(), size_);
    bytes_ = std::move(bytes);
    capacity_ = capacity;
  }

  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};
