// libFuzzer target: the BMP reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ReadBmp(data, size);
  return 0;
}
