// The allocator's own figure of bytes in use, apart from the counting operator new, so that the
// soak can watch the heap without replacing the program's allocation.
#include "heap_figures.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZENTROVA_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZENTROVA_ASAN 1
#endif

#ifdef ZENTROVA_ASAN
// The sanitizer's allocator keeps its own count; GCC ships no header declaring it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace heap {

size_t InUse() {
#ifdef ZENTROVA_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;  // small blocks in use plus large mapped ones
#endif
}

}  // namespace heap
