// The glTF export read back: the container, every vertex against its block's corners, every texel
// against its face's texture, the glue links. The files written here are also what the Khronos
// validator judges (gltf/validate.sh).
#include "keep/gltf_export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "collapse_scenes.h"
#include "platform/image/picture.h"
#include "platform/image/png_write.h"
#include "test_app.h"

namespace r = platform::render;
using Json = nlohmann::json;

namespace {

struct Glb {
  Json doc;
  std::vector<uint8_t> bin;
};

uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}

// The two chunks of a .glb, each checked against the bytes it claims.
::testing::AssertionResult ReadGlb(const std::vector<uint8_t>& b, Glb* out) {
  if (b.size() < 28 || Word(b, 0) != 0x46546C67u || Word(b, 4) != 2 || Word(b, 8) != b.size())
    return ::testing::AssertionFailure() << "not a glTF 2 binary of " << b.size() << " bytes";
  const size_t json_length = Word(b, 12);
  if (Word(b, 16) != 0x4E4F534Au || json_length % 4 || 20 + json_length + 8 > b.size())
    return ::testing::AssertionFailure() << "bad JSON chunk";
  out->doc = Json::parse(b.begin() + 20, b.begin() + 20 + long(json_length), nullptr, false);
  if (out->doc.is_discarded()) return ::testing::AssertionFailure() << "bad JSON";
  const size_t at = 20 + json_length, bin_length = Word(b, at);
  if (Word(b, at + 4) != 0x004E4942u || bin_length % 4 || at + 8 + bin_length != b.size())
    return ::testing::AssertionFailure() << "bad BIN chunk";
  out->bin.assign(b.begin() + long(at) + 8, b.end());
  if (out->doc.at("buffers").at(0).at("byteLength").get<size_t>() > bin_length)
    return ::testing::AssertionFailure() << "buffer longer than its chunk";
  return ::testing::AssertionSuccess();
}

// An accessor's elements, `width` floats (or one index) each, checked to lie in its view.
template <class T>
std::vector<T> Elements(const Glb& g, int accessor, int width) {
  const Json& a = g.doc.at("accessors").at(size_t(accessor));
  const Json& v = g.doc.at("bufferViews").at(a.at("bufferView").get<size_t>());
  const size_t in_view = a.value("byteOffset", size_t(0));
  const size_t offset = v.value("byteOffset", size_t(0)) + in_view;
  std::vector<T> out(a.at("count").get<size_t>() * size_t(width));
  const size_t bytes = out.size() * sizeof(T);
  EXPECT_LE(in_view + bytes, v.at("byteLength").get<size_t>());
  if (offset + bytes <= g.bin.size()) std::memcpy(out.data(), g.bin.data() + offset, bytes);
  return out;
}

platform::image::Picture Image(const Glb& g, int material) {
  const Json& m = g.doc.at("materials").at(size_t(material));
  const size_t texture = m.at("pbrMetallicRoughness").at("baseColorTexture").at("index");
  const Json& image =
      g.doc.at("images").at(g.doc.at("textures").at(texture).at("source").get<size_t>());
  EXPECT_EQ(image.at("mimeType"), "image/png");
  const Json& v = g.doc.at("bufferViews").at(image.at("bufferView").get<size_t>());
  platform::image::Picture picture;
  std::string why;
  EXPECT_TRUE(platform::image::DecodePng(g.bin.data() + v.value("byteOffset", size_t(0)),
                                         v.at("byteLength").get<size_t>(), &picture, &why))
      << why;
  return picture;
}

using D3 = std::array<double, 3>;

D3 Metres(const Vec3& physics) {
  return {physics.x * kMetresPerUnit, physics.z * kMetresPerUnit, -physics.y * kMetresPerUnit};
}
D3 Minus(const D3& a, const D3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double Dot(const D3& a, const D3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
D3 At(const float* xyz) {
  return {xyz[0], xyz[1], xyz[2]};
}

// One quad of the file against the face it stands for: its four vertices are the face's corners
// (each once), its texture coordinates put the face's texture upright on a tile `texels_wide`
// wide, and the texels there are the face's; its two triangles and its normals face away from
// `inside`.
void CheckQuad(const float* positions, const float* normals, const float* uvs,
               const uint16_t* indices, const Vec3* const (&corners)[4], const Vec3& inside,
               const platform::image::Picture& picture, const std::vector<uint8_t>& texels,
               int texels_wide, const std::string& what) {
  static constexpr float kU[4] = {0, 1, 1, 0}, kV[4] = {0, 0, 1, 1};
  // Corners may coincide in a crushed block: each takes a vertex of its own.
  int vertex[4] = {-1, -1, -1, -1};
  bool taken[4] = {};
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < 4 && vertex[k] < 0; ++j)
      if (!taken[j] && At(positions + 3 * j) == Metres(*corners[k])) vertex[k] = j, taken[j] = true;
    ASSERT_GE(vertex[k], 0) << what << ": corner " << k << " is no vertex";
  }
  // Texture placement: corner 0 at the tile's origin, the others a tile's side away.
  const float tile_u = float(texels_wide) / float(picture.width);
  const float tile_v = float(texels_wide) / float(picture.height);
  const float u0 = uvs[2 * vertex[0]], v0 = uvs[2 * vertex[0] + 1];
  for (int k = 0; k < 4; ++k) {
    EXPECT_FLOAT_EQ(uvs[2 * vertex[k]], u0 + kU[k] * tile_u) << what;
    EXPECT_FLOAT_EQ(uvs[2 * vertex[k] + 1], v0 + kV[k] * tile_v) << what;
  }
  const int x0 = int(std::lround(u0 * float(picture.width)));
  const int y0 = int(std::lround(v0 * float(picture.height)));
  int wrong = 0;
  for (int y = 0; y < texels_wide; ++y)
    for (int x = 0; x < texels_wide; ++x) {
      const uint8_t* t = &texels[3 * size_t(y * texels_wide + x)];
      const uint32_t want = uint32_t(t[0]) << 16 | uint32_t(t[1]) << 8 | t[2];
      wrong += (picture.argb[size_t(y0 + y) * picture.width + size_t(x0 + x)] & 0xFFFFFFu) != want;
    }
  EXPECT_EQ(wrong, 0) << what << ": texels differ from the face's";
  // Outward: the face's middle seen from inside.
  D3 out = {0, 0, 0};
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < 3; ++i)
      out[size_t(i)] += Minus(Metres(*corners[k]), Metres(inside))[size_t(i)] / 4;
  const double out_length = std::sqrt(Dot(out, out));
  if (out_length < 1e-6) return;  // a face through the block's middle has no outside
  for (int t = 0; t < 2; ++t) {
    const D3 p0 = At(positions + 3 * indices[3 * t]);
    const D3 a = Minus(At(positions + 3 * indices[3 * t + 1]), p0);
    const D3 b = Minus(At(positions + 3 * indices[3 * t + 2]), p0);
    const D3 n = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    // Up to rounding: a triangle of a folded quad can be all but flat.
    EXPECT_GE(Dot(n, out), -1e-4 * std::sqrt(Dot(n, n)) * out_length) << what << ": turned inwards";
  }
  for (int j = 0; j < 4; ++j) {
    const D3 n = At(normals + 3 * j);
    EXPECT_NEAR(Dot(n, n), 1.0, 1e-5) << what;
    EXPECT_GE(Dot(n, out), -1e-4 * out_length) << what << ": normal inwards";
  }
}

// The whole file against the world it was made from.
void CheckAgainstWorld(const Glb& g, World& world) {
  const BlockSet& set = world.blockSet;
  const Json& doc = g.doc;
  EXPECT_EQ(doc.at("asset").at("version"), "2.0");
  EXPECT_EQ(doc.at("asset").at("generator").get<std::string>().substr(0, 9), "Zentrova ");
  const Json& nodes = doc.at("nodes");
  const Json& root = nodes.at(doc.at("scenes").at(0).at("nodes").at(0).get<size_t>());
  EXPECT_EQ(root.at("name"), "Zentrova");
  ASSERT_EQ(root.at("children").size(), size_t(set.Count()) + 1);
  for (int b = -1; b < set.Count(); ++b) {
    const Json& node = nodes.at(root.at("children").at(size_t(b + 1)).get<size_t>());
    const Json& primitive =
        doc.at("meshes").at(node.at("mesh").get<size_t>()).at("primitives").at(0);
    const Json& attributes = primitive.at("attributes");
    const auto positions = Elements<float>(g, attributes.at("POSITION"), 3);
    const auto normals = Elements<float>(g, attributes.at("NORMAL"), 3);
    const auto uvs = Elements<float>(g, attributes.at("TEXCOORD_0"), 2);
    const auto indices = Elements<uint16_t>(g, primitive.at("indices"), 1);
    const platform::image::Picture picture = Image(g, primitive.at("material"));
    // The table is one quad, seen from below its middle; a block six, seen from its middle.
    const Table& table = world.table;
    const Block* block = b < 0 ? nullptr : set.At(b);
    const int quads = block ? 6 : 1;
    ASSERT_EQ(positions.size(), size_t(12 * quads));
    ASSERT_EQ(indices.size(), size_t(6 * quads));
    const int n = block ? 8 : 4;
    Vec3 inside;
    for (int k = 0; k < n; ++k)
      AddInPlace(inside, (block ? block->corners : table.tableCorners)[k]);
    DivideInPlace(inside, float(n));
    inside.z -= block ? 0.0f : 1.0f;
    for (int f = 0; f < quads; ++f) {
      // This quad's four vertices and its two triangles, made local to them.
      uint16_t local[6];
      for (int k = 0; k < 6; ++k) {
        ASSERT_GE(indices[size_t(6 * f + k)], 4 * f);
        ASSERT_LT(indices[size_t(6 * f + k)], 4 * f + 4);
        local[k] = uint16_t(indices[size_t(6 * f + k)] - 4 * f);
      }
      const Vec3* corners[4];
      for (int k = 0; k < 4; ++k)
        corners[k] = block ? &block->corners[kFaceCorners[f][k]] : &table.tableCorners[k];
      CheckQuad(positions.data() + 12 * f, normals.data() + 12 * f, uvs.data() + 8 * f, local,
                corners, inside, picture,
                (block ? block->faces[f].texture : &table.texture)->Backing()->Buffer(),
                block ? 8 : 240, "block " + std::to_string(b) + " face " + std::to_string(f));
    }
    if (!block) continue;
    // Glue: every link of the block, and nothing else, as node and face.
    std::set<std::array<int, 3>> want, got;
    for (int f = 0; f < 6; ++f)
      if (const Face* link = block->faces[f].link)
        want.insert({f, set.Find(link->owner) + 2, int(link - link->owner->faces)});
    if (node.contains("extras"))
      for (const Json& glue : node.at("extras").at("glue"))
        got.insert({glue.at("face").get<int>(), glue.at("node").get<int>(),
                    glue.at("otherFace").get<int>()});
    EXPECT_EQ(got, want) << "block " << b;
  }
}

// Some texels of some faces and of the table, in random colours, as pens would leave them.
void PaintAtRandom(World& world, int faces, uint32_t seed) {
  platform::PortableRand random;
  random.Seed(seed);
  BlockSet& set = world.blockSet;
  for (int i = 0; i < faces; ++i) {
    Block* block = set.At(random.Next() % set.Count());
    ImageTexture& texture = *block->PaintableFaceTexture(int(random.Next() % 6));
    for (int k = 0; k < 20; ++k) {
      const size_t texel = size_t(random.Next() % 64);
      for (int c = 0; c < 3; ++c)
        texture.Backing()->Buffer()[3 * texel + size_t(c)] = uint8_t(random.Next());
    }
    texture.Upload(0, 0, 8, 8);
  }
  std::vector<uint8_t>& table = world.table.texture.Backing()->Buffer();
  for (int k = 0; k < 2000; ++k)
    table[size_t(random.Next() % table.size())] = uint8_t(random.Next());
  world.table.texture.Upload(0, 0, 240, 240);
}

// Exports, keeps the file for the validator, reads it back and compares.
void ExportAndCheck(TestApp& t, const std::string& name) {
  t.Frames(1);  // the toy's own picture of what is exported, to set beside the file's
  t.Save("gltf_" + name);
  std::vector<uint8_t> bytes;
  std::string why;
  ASSERT_TRUE(EncodeGlb(SceneOfWorld(t.world()), "Zentrova test", &bytes, &why)) << why;
  // The validator's run names a folder of its own, so that two runs never write one file.
  const char* asked = std::getenv("ZENTROVA_GLTF_DIR");
  const std::string folder = asked ? asked : std::string(ZENTROVA_OUTPUT_DIR) + "/gltf";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + name + ".glb", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  Glb glb;
  ASSERT_TRUE(ReadGlb(bytes, &glb));
  CheckAgainstWorld(glb, t.world());
  // For tools/gltf_look.py, which draws the file from this camera: the screen matrix, and where
  // the toy's own pick buffer shows a block.
  BlockSet& set = t.world().blockSet;
  r::RenderDevice* device = t.app().Graphics().Device();
  const Mat4 screen = set.ScreenMatrix(device);
  std::ofstream camera(folder + "/" + name + ".camera.json");
  camera << "{\"metresPerUnit\":" << kMetresPerUnit << ",\"screen\":[";
  for (int i = 0; i < 16; ++i) camera << (i ? "," : "") << screen.m[i];
  camera << "]}\n";
  set.RefreshPickBuffer(device, nullptr);
  std::vector<uint32_t> mask(size_t(set.Width()) * size_t(set.Height()));
  for (int y = 0; y < set.Height(); ++y)
    for (int x = 0; x < set.Width(); ++x) {
      const Block* body = set.CellBody(set.FrontCell(x, y));
      mask[size_t(y * set.Width() + x)] = body && body->kind == Block::kBlock ? 0u : 0xFFFFFFu;
    }
  platform::image::WritePng(folder + "/" + name + ".toymask.png", mask.data(), set.Width(),
                            set.Height(), set.Width(), false, nullptr);
}

// Also Ctrl+E in the play space: a new .glb beside the saved pictures, read back whole; the same
// keys again in the same second make a second file, not one over the first; a folder that cannot
// be made leaves the play space as it was.
TEST(GltfExport, EveryVertexTexelAndLinkReadsBackFromTheFile) {
  {
    const std::string home = std::string(ZENTROVA_OUTPUT_DIR) + "/export_home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home + "/Pictures");
    TestApp t(1000, [&](platform::HeadlessPlatform& p) {
      p.SetEnvironment("HOME", home);
      p.SetNow({2026, 12, 8, 9, 5, 7});
    });
    t.EnterPlay();
    t.Frames(2);
    const std::vector<uint32_t> before = t.platform().LastFrame();
    for (int i = 0; i < 2; ++i) {
      t.platform().Send(platform::Message::kExportKey);
      t.Frames(2);
    }
    // The notice shows at the top of the picture, though nothing else in the scene changed.
    int changed = 0;
    for (int y = 12; y < 56; ++y)
      for (int x = 200; x < 440; ++x)
        changed += t.platform().LastFrame()[size_t(y * 640 + x)] != before[size_t(y * 640 + x)];
    EXPECT_GT(changed, 500) << "no notice in the picture";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(home + "/Pictures"))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 2u) << "one file per export, none left half-written";
    EXPECT_EQ(names[0].substr(0, 24), "zentrova-20261208-090507");
    Glb glb;
    ASSERT_TRUE(ReadGlb(FileBytes(home + "/Pictures/" + names[0]), &glb));
    CheckAgainstWorld(glb, t.world());
    ExportAndCheck(t, "towers");
    PaintAtRandom(t.world(), 60, 7);
    t.Drag(300, 200, 10);  // a hand move or none: whatever the hand did is exported as it stands
    ExportAndCheck(t, "painted");
    // Without ~/Pictures the file goes to the data home; a file where that folder should be:
    // refused, said, and play goes on.
    std::filesystem::remove_all(home + "/Pictures");
    std::ofstream(home + "/.local") << "in the way";
    const int blocks = t.world().blockSet.Count();
    t.platform().Send(platform::Message::kExportKey);
    t.Frames(2);
    EXPECT_EQ(t.world().blockSet.Count(), blocks);
    EXPECT_EQ(t.current(), &t.play());
  }
  // Leant towers fallen, and a thousand blocks, painted at random.
  for (const bool thousand : {false, true}) {
    TestApp t;
    t.EnterPlay();
    BlockSet& set = t.world().blockSet;
    if (thousand)
      scenes::AddRandomBlocks(t, set, 900, 5);
    else
      scenes::LeanTowers(set);
    PaintAtRandom(t.world(), thousand ? 2000 : 30, thousand ? 13 : 11);
    set.settleCheck = 1;
    for (int i = 0; i < (thousand ? 60 : 400); ++i) set.StepBodies();
    ExportAndCheck(t, thousand ? "blocks1000" : "collapsed");
  }
}

TEST(GltfExport, ACornerThatIsNoNumberIsRefusedWithItsReason) {
  GltfScene scene;
  scene.blocks.resize(1);
  scene.blocks[0].corners[3].y = std::nanf("");
  std::vector<uint8_t> bytes;
  std::string why;
  EXPECT_FALSE(EncodeGlb(scene, "Zentrova test", &bytes, &why));
  EXPECT_EQ(why, "a block's corner is not a number");
}

// Proper cubes of every scale up to the float's limit, and flat ones: each is exported with
// finite positions and unit normals, or refused with the reason; never a number that is not one.
TEST(GltfExport, CubesOfAnySizeExportUnitNormalsOrAreRefused) {
  int exported = 0;
  for (float side : {2.0f, 1.0e6f, 1.0e21f, 1.0e30f, 3.0e38f, 0.0f}) {
    GltfScene scene;
    scene.blocks.resize(1);
    for (int k = 0; k < 8; ++k)
      scene.blocks[0].corners[k] = {(k == 1 || k == 2 || k == 5 || k == 6) ? side : 0.0f,
                                    (k % 4 >= 2) ? side : 0.0f, k >= 4 ? side : 0.0f};
    std::vector<uint8_t> bytes;
    std::string why;
    if (!EncodeGlb(scene, "Zentrova test", &bytes, &why)) {
      EXPECT_FALSE(why.empty()) << side;
      continue;
    }
    ++exported;
    Glb g;
    ASSERT_TRUE(ReadGlb(bytes, &g)) << side;
    const Json& prim = g.doc.at("meshes").at(0).at("primitives").at(0);
    const std::vector<float> normals =
        Elements<float>(g, prim.at("attributes").at("NORMAL").get<int>(), 3);
    const std::vector<float> positions =
        Elements<float>(g, prim.at("attributes").at("POSITION").get<int>(), 3);
    ASSERT_EQ(normals.size(), 24u * 3) << side;
    for (float p : positions) EXPECT_TRUE(std::isfinite(p)) << side;
    for (size_t i = 0; i < normals.size(); i += 3) {
      const double length =
          std::sqrt(double(normals[i]) * normals[i] + double(normals[i + 1]) * normals[i + 1] +
                    double(normals[i + 2]) * normals[i + 2]);
      EXPECT_NEAR(length, 1.0, 1e-6) << side;
    }
  }
  EXPECT_GE(exported, 4);
}

}  // namespace
