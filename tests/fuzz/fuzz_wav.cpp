// libFuzzer target: the WAV reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ReadWav(data, size);
  return 0;
}
