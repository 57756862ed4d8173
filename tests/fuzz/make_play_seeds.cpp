// Writes the play target's small seeds made from a saved construction (the starting towers):
// each one field or block edited in the payload, the wrapping made right. Those named "refused"
// break the rule of what a construction may be; the rest must open and play.
//   make_play_seeds tests/fuzz/construction/towers_v1.png tests/fuzz/play
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "construction_edit.h"
#include "construction_layout.h"

namespace {

using Payload = std::vector<uint8_t>;

uint8_t* Block(Payload& p, size_t i) {
  return &p[layout::kBlocks + i * layout::kBlockBytes];
}
uint8_t* Face(Payload& p, size_t block, size_t face) {
  return Block(p, block) + layout::kFaces + face * layout::kFaceBytes;
}
size_t Blocks(const Payload& p) {
  return fuzz::GetU32(&p[layout::kBlockCount]);
}

// Block i's id changed, and every reference to it with it.
void Rename(Payload& p, size_t i, uint32_t id) {
  const uint32_t old = fuzz::GetU32(Block(p, i) + layout::kBlockId);
  const auto follow = [&](uint8_t* ref) {
    if (fuzz::GetU32(ref) == old) fuzz::PutU32(ref, id);
  };
  for (size_t ref :
       {layout::kSupportQuad, layout::kPendingFace, layout::kSavedLink, layout::kGroupBlock})
    follow(&p[ref]);
  for (size_t b = 0; b < Blocks(p); ++b)
    for (size_t f = 0; f < 6; ++f) follow(Face(p, b, f) + layout::kFaceLink);
  const size_t handles = layout::kBlocks + Blocks(p) * layout::kBlockBytes;
  for (size_t h = 0; h < fuzz::GetU32(&p[handles]); ++h)
    follow(&p[handles + 4 + h * layout::kHandleBytes + layout::kHandleBlock]);
  fuzz::PutU32(Block(p, i) + layout::kBlockId, id);
}

void Fill(uint8_t* at, int floats, float value) {
  for (int i = 0; i < floats; ++i) fuzz::PutF32(at + 4 * i, value);
}

// Only block i, unglued and without a handle; no handles, no glue records.
void KeepOnly(Payload& p, size_t i) {
  Payload block(Block(p, i), Block(p, i) + layout::kBlockBytes);
  for (size_t f = 0; f < 6; ++f)
    fuzz::PutU32(&block[layout::kFaces + f * layout::kFaceBytes + layout::kFaceLink], uint32_t(-1));
  fuzz::PutU32(&block[layout::kBlockHandle], uint32_t(-1));
  p.resize(layout::kBlocks);
  p.insert(p.end(), block.begin(), block.end());
  p.insert(p.end(), 4, 0);  // no handles
  fuzz::PutU32(&p[layout::kBlockCount], 1);
  for (size_t ref : {layout::kSupportQuad, layout::kPendingFace, layout::kSavedLink})
    fuzz::PutU32(&p[ref], uint32_t(-1));
  fuzz::PutU32(&p[layout::kGroupBlock], uint32_t(-1));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_play_seeds TOWERS.png FOLDER\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> towers{std::istreambuf_iterator<char>(in), {}};
  fuzz::UnpackedConstruction base;
  if (!fuzz::Unpack(towers.data(), towers.size(), &base) || Blocks(base.payload) < 100) {
    std::fprintf(stderr, "make_play_seeds: %s holds no towers\n", argv[1]);
    return 1;
  }
  const std::pair<const char*, std::function<void(Payload&)>> seeds[] = {
      // The hand lifts tower 4 (blocks 75 to 99) with a face glued to a fixed record.
      {"glue_drag_quad_refused",
       [](Payload& p) { fuzz::PutU32(Face(p, 80, 4) + layout::kFaceLink, uint32_t(-4)); }},
      {"glue_handle_quad_refused",
       [](Payload& p) { fuzz::PutU32(Face(p, 80, 4) + layout::kFaceLink, uint32_t(-3)); }},
      {"glue_table_refused",
       [](Payload& p) { fuzz::PutU32(Face(p, 75, 0) + layout::kFaceLink, uint32_t(-2)); }},
      {"id_2_31_refused", [](Payload& p) { Rename(p, 99, 0x80000000u); }},
      {"id_2_32_less_1_refused", [](Payload& p) { Rename(p, 99, 0xFFFFFFFFu); }},
      {"velocities_3e38_refused",
       [](Payload& p) { Fill(Block(p, 40) + layout::kVelocities, 24, 3e38f); }},
      {"corners_3e38_refused",
       [](Payload& p) { Fill(Block(p, 40) + layout::kCorners, 48, 3e38f); }},
      {"size_3e38_refused", [](Payload& p) { Fill(Block(p, 75) + layout::kSize, 3, 3e38f); }},
      {"rest_lengths_3e38_refused",
       [](Payload& p) { Fill(Block(p, 40) + layout::kRestLengths, 16, 3e38f); }},
      {"zoom_3e38_refused", [](Payload& p) { fuzz::PutF32(&p[layout::kZoom], 3e38f); }},
      {"centre_3e38_refused", [](Payload& p) { Fill(Block(p, 60) + layout::kCentre, 3, 3e38f); }},
      // The largest id a reference holds: the next one made must not wrap onto a held one.
      {"largest_id", [](Payload& p) { Rename(p, 75, 0x7FFFFFFFu); }},
      {"one_block", [](Payload& p) { KeepOnly(p, 0); }},
      {"empty",
       [](Payload& p) {
         KeepOnly(p, 0);
         p.resize(layout::kBlocks + 4);
         fuzz::PutU32(&p[layout::kBlockCount], 0);
         fuzz::PutU32(&p[layout::kBlocks], 0);
       }},
  };
  for (const auto& [name, edit] : seeds) {
    fuzz::UnpackedConstruction c = base;
    edit(c.payload);
    const std::vector<uint8_t> png = fuzz::Repack(c);
    const std::string path = std::string(argv[2]) + "/" + name + ".png";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    std::printf("%s: %zu bytes\n", path.c_str(), png.size());
  }
  return 0;
}
