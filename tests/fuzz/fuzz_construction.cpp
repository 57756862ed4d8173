// libFuzzer target: a saved construction's reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ReadConstruction(data, size);
  return 0;
}
