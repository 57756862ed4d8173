// libFuzzer target: the PNG reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ReadPng(data, size);
  return 0;
}
