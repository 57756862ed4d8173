// libFuzzer target: a BMP held whole as a file picture and drawn, on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ReadDib(data, size);
  return 0;
}
