#include "play/construction_file.h"
#include "readers.h"

namespace fuzz {

namespace {
volatile uint32_t sink;
}

void ReadConstruction(const uint8_t* data, size_t size) {
  Snapshot snapshot;
  std::string why;
  if (ReadConstructionPng(data, size, &snapshot, &why))
    sink = uint32_t(snapshot.blocks.size() + snapshot.handles.size());
}

}  // namespace fuzz
