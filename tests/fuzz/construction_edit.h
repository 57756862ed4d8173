// A construction file taken apart into its unpacked payload, edited field by field and put
// together again with its zlib stream, its length, its CRC-32 and the chunk's own CRC made
// right, so that the damage reaches past the wrapping into the reader and the play space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fuzz {

struct UnpackedConstruction {
  std::vector<uint8_t> before;  // the PNG's bytes up to the construction chunk
  std::vector<uint8_t> after;   // and from the chunk after it
  uint32_t version = 0;
  std::vector<uint8_t> payload;
};

// The payload's little-endian numbers.
uint32_t GetU32(const uint8_t* p);
void PutU32(uint8_t* p, uint32_t v);
void PutF32(uint8_t* p, float f);

// False when the bytes hold no construction chunk whose stream unpacks to the length it states.
bool Unpack(const uint8_t* data, size_t size, UnpackedConstruction* out);
// The PNG again, every length and checksum made to fit the payload.
std::vector<uint8_t> Repack(const UnpackedConstruction& construction);

// Mutates data[0, size) in place within max_size and returns the new size: libFuzzer's own
// mutator in the fuzz target, a stand-in elsewhere.
using ByteMutator = size_t (*)(uint8_t* data, size_t size, size_t max_size);

// One edit of the payload, chosen by `seed`: a field of the head, a block or a handle set to a
// value that breaks things (fixed records and huge ids where ids go, 3e38, 1e21, NaN where floats
// go, copies of other fields), the same edit to every block, a block removed or doubled, a count
// that lies, or `bytes` over one record. Bytes that do not unpack get `bytes` whole.
size_t MutateConstruction(uint8_t* data, size_t size, size_t max_size, uint32_t seed,
                          ByteMutator bytes);

// The first construction with one block record, or the camera and glue records, of the second;
// 0 when either does not unpack or the result does not fit.
size_t CrossOverConstructions(const uint8_t* data1, size_t size1, const uint8_t* data2,
                              size_t size2, uint8_t* out, size_t max_out_size, uint32_t seed);

}  // namespace fuzz
