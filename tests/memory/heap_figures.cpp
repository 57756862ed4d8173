#include "heap_figures.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> new_bytes{0};
std::atomic<size_t> peak_new_bytes{0};
std::atomic<size_t> new_calls{0};

// Each block carries its size in front, so that delete knows what to take off the count.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (!block) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  ++new_calls;
  const size_t now = new_bytes += size;
  size_t peak = peak_new_bytes.load();
  while (now > peak && !peak_new_bytes.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(block) + kHeader;
}

void Free(void* p) {
  if (!p) return;
  void* block = static_cast<char*>(p) - kHeader;
  new_bytes -= *static_cast<size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) {
  return Allocate(size);
}
void* operator new[](size_t size) {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  Free(p);
}
void operator delete[](void* p) noexcept {
  Free(p);
}
void operator delete(void* p, size_t) noexcept {
  Free(p);
}
void operator delete[](void* p, size_t) noexcept {
  Free(p);
}

namespace heap {

size_t NewBytes() {
  return new_bytes.load();
}
size_t NewCalls() {
  return new_calls.load();
}
size_t PeakNewBytes() {
  return peak_new_bytes.load();
}
void ResetPeak() {
  peak_new_bytes.store(new_bytes.load());
}

}  // namespace heap
