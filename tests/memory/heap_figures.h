// Heap figures for the memory tests: the allocator's own count of bytes in use, and the peak of
// the bytes held through operator new, counted by this test program's replacement of it.
#pragma once

#include <cstddef>

namespace heap {

// Bytes the allocator has handed out and not had back (mallinfo2, or the sanitizer's allocator);
// in heap_in_use.cpp, which the soak links without the counting operator new.
size_t InUse();
// Bytes currently held through operator new.
size_t NewBytes();
// Calls of operator new so far, from every thread.
size_t NewCalls();
// The most NewBytes() reached since the last ResetPeak().
size_t PeakNewBytes();
void ResetPeak();

}  // namespace heap
