// The snapshot as bytes: version 1 of the construction format (docs/construction-format.md),
// little-endian, every field in a fixed order. One visitor lays the fields out for both ways, so
// the writer and the reader cannot disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "play/snapshot.h"

// The format version written; every older one keeps loading.
constexpr uint32_t kSnapshotVersion = 1;
// Far more than a person builds, far less than would make a hostile file costly.
constexpr uint32_t kMaxSnapshotBlocks = 20000;

// The largest payload a valid snapshot of `blocks` blocks and as many handles can have.
size_t SnapshotBytesLimit(uint32_t blocks = kMaxSnapshotBlocks);

std::vector<uint8_t> EncodeSnapshot(const Snapshot& snapshot);

// Whether this version of the toy reads the format version; false with the reason.
bool CheckSnapshotVersion(uint32_t version, std::string* why);

// The payload's head: everything before the blocks, their count included.
extern const size_t kSnapshotHeadBytes;
// Whether a payload of `payload_bytes` bytes can hold what its head says (the sizes of this
// version, a block count within the limit, and room for exactly those blocks and at most as many
// handles): checked on the head alone, before the rest is unpacked. False with the reason.
bool CheckSnapshotHead(const uint8_t* head, size_t payload_bytes, std::string* why);

// Reads a payload of the given format version into *out; false with one reason when anything is
// wrong: a count beyond the limits or the bytes held, a number that is not finite, bytes left
// over, or a reference to a block it does not hold. *out is written only on success.
bool DecodeSnapshot(const uint8_t* bytes, size_t size, uint32_t version, Snapshot* out,
                    std::string* why);
