#include "keep/gltf_export.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "platform/image/png_write.h"
#include "world/world.h"

namespace {

constexpr int kTile = GltfScene::kFaceTexels;
constexpr int kFaceVertices = 4;
constexpr int kBlockVertices = 6 * kFaceVertices;
// glTF's constants: component types, buffer view targets, sampler filters and wraps.
constexpr int kFloat = 5126, kUnsignedShort = 5123;
constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kNearest = 9728, kClampToEdge = 33071;
// Textures deflated fast: an export is made on a keypress, and the texels are a small part of
// the file.
constexpr int kPngLevel = 1;
// Where each corner of a face sits in its texture, as the toy draws it.
constexpr float kFaceU[4] = {0, 1, 1, 0};
constexpr float kFaceV[4] = {0, 0, 1, 1};

struct Float3 {
  float x, y, z;
};

Float3 ToGltf(const Vec3& physics) {
  // Physics (x, y, z) is display (x, z, y); display's left-handed z turns around.
  return {physics.x * kMetresPerUnit, physics.z * kMetresPerUnit, -physics.y * kMetresPerUnit};
}

// Directions are worked out in double: the cross product of a large block's diagonals overflows
// a float.
struct Double3 {
  double x, y, z;
};

Double3 Minus(const Float3& a, const Float3& b) {
  return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z};
}
Double3 Cross(const Double3& a, const Double3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const Double3& a, const Double3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
// Unit length as glTF's validator measures it; `fallback` (itself unit) for a null vector.
Float3 Unit(const Double3& v, const Float3& fallback) {
  const double length = std::sqrt(Dot(v, v));
  if (!(length > 1e-12) || !std::isfinite(length)) return fallback;
  return {float(v.x / length), float(v.y / length), float(v.z / length)};
}
bool IsUnit(const Float3& n) {
  const double length = std::sqrt(Dot({n.x, n.y, n.z}, {n.x, n.y, n.z}));
  return std::fabs(length - 1.0) <= 1e-5;  // false for NaN
}

// The vertices of one mesh: positions, normals and atlas coordinates, with their bounds.
struct Vertices {
  std::vector<Float3> positions, normals;
  std::vector<float> uvs;
  void Add(const Float3& p, const Float3& n, float u, float v) {
    positions.push_back(p);
    normals.push_back(n);
    uvs.push_back(u);
    uvs.push_back(v);
  }
};

// One quad, its corners turned so that the fan 0 1 2, 0 2 3 winds counter-clockwise seen from
// `outward` (glTF's front faces), with the quad's flat normal.
void AddQuad(Vertices* out, const Float3 (&p)[4], const float (&u)[4], const float (&v)[4],
             const Double3& outward) {
  const Double3 n = Cross(Minus(p[2], p[0]), Minus(p[3], p[1]));  // the quad's two diagonals
  const bool keep = Dot(n, outward) >= 0.0;
  const Float3 normal =
      Unit(keep ? n : Double3{-n.x, -n.y, -n.z}, Unit(outward, Float3{0.0f, 1.0f, 0.0f}));
  static constexpr int kKept[4] = {0, 1, 2, 3}, kTurned[4] = {0, 3, 2, 1};
  for (int k : keep ? kKept : kTurned) out->Add(p[k], normal, u[k], v[k]);
}

// A JSON text grown piece by piece; numbers in the shortest form that reads back as the same
// float.
class Json {
 public:
  Json& operator<<(const char* text) {
    text_ += text;
    return *this;
  }
  Json& operator<<(const std::string& text) {
    text_ += text;
    return *this;
  }
  Json& operator<<(int value) {
    text_ += std::to_string(value);
    return *this;
  }
  Json& operator<<(size_t value) {
    text_ += std::to_string(value);
    return *this;
  }
  Json& operator<<(float value) {
    char number[32];
    std::snprintf(number, sizeof number, "%.9g", double(value));
    text_ += number;
    return *this;
  }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

class Binary {
 public:
  // Appends at a multiple of four bytes, as glTF's buffer views and chunks want.
  size_t Append(const void* data, size_t bytes) {
    bytes_.resize((bytes_.size() + 3) & ~size_t(3), 0);
    const size_t at = bytes_.size();
    const auto* b = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), b, b + bytes);
    return at;
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

struct View {
  size_t offset = 0, length = 0;
  int target = 0;  // 0: none (an image)
  int stride = 0;  // vertex attributes: the bytes of one vertex, as views shared by meshes need
};

bool Finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Every block's six faces in tiles of 8 x 8 texels, block by block, in a square of a power of
// two a side (any viewer takes those).
struct Atlas {
  int tilesPerRow = 1, width = kTile, height = kTile;
  std::vector<uint32_t> pixels;

  explicit Atlas(const GltfScene& scene) {
    const size_t tiles = std::max<size_t>(1, scene.blocks.size() * 6);
    tilesPerRow = int(std::bit_ceil(size_t(std::ceil(std::sqrt(double(tiles))))));
    const int rows = int((tiles + size_t(tilesPerRow) - 1) / size_t(tilesPerRow));
    width = tilesPerRow * kTile;
    height = int(std::bit_ceil(size_t(rows) * kTile));
    pixels.assign(size_t(width) * height, 0xFFFFFFu);
    for (size_t b = 0; b < scene.blocks.size(); ++b)
      for (int f = 0; f < 6; ++f) {
        const auto& texels = scene.blocks[b].texels[size_t(f)];
        const int x0 = Column(b, f) * kTile, y0 = Row(b, f) * kTile;
        for (int y = 0; y < kTile; ++y)
          for (int x = 0; x < kTile; ++x) {
            const uint8_t* t = &texels[3 * size_t(y * kTile + x)];
            pixels[size_t(y0 + y) * width + size_t(x0 + x)] =
                uint32_t(t[0]) << 16 | uint32_t(t[1]) << 8 | t[2];
          }
      }
  }
  int Column(size_t block, int face) const { return int((block * 6 + size_t(face)) % tilesPerRow); }
  int Row(size_t block, int face) const { return int((block * 6 + size_t(face)) / tilesPerRow); }
};

}  // namespace

GltfScene SceneOfWorld(const World& world) {
  GltfScene scene;
  const BlockSet& set = world.blockSet;
  std::unordered_map<const Block*, int> index_of;
  for (int i = 0; i < set.Count(); ++i) index_of.emplace(set.At(i), i);
  scene.blocks.resize(size_t(set.Count()));
  for (int i = 0; i < set.Count(); ++i) {
    const Block& block = *set.At(i);
    GltfScene::Block& out = scene.blocks[size_t(i)];
    std::copy(std::begin(block.corners), std::end(block.corners), out.corners);
    for (int f = 0; f < 6; ++f) {
      const Face& face = block.faces[f];
      auto& texels = out.texels[size_t(f)];
      texels.fill(255);
      const DibImage* paint = face.texture ? face.texture->Backing() : nullptr;
      if (paint && paint->Width() == kTile && paint->Height() == kTile)
        std::copy_n(paint->Buffer().begin(), texels.size(), texels.begin());
      if (!face.link || !face.link->owner) continue;
      const auto other = index_of.find(face.link->owner);
      if (other == index_of.end()) continue;
      out.glue.push_back({f, other->second, int(face.link - face.link->owner->faces)});
    }
  }
  const Table& table = world.table;
  std::copy(std::begin(table.tableCorners), std::end(table.tableCorners), scene.tableCorners);
  if (const DibImage* paint = table.texture.Backing()) {
    scene.tableWidth = paint->Width();
    scene.tableHeight = paint->Height();
    scene.tableTexels = paint->Buffer();
    scene.tableTexels.resize(size_t(scene.tableWidth) * scene.tableHeight * 3, 255);
  }
  return scene;
}

bool EncodeGlb(const GltfScene& scene, const std::string& generator, std::vector<uint8_t>* out,
               std::string* why) {
  const size_t count = scene.blocks.size();
  for (const GltfScene::Block& block : scene.blocks)
    for (const Vec3& c : block.corners)
      if (!Finite(c)) return *why = "a block's corner is not a number", false;

  // Vertices: the blocks' in list order, then the table's four.
  Vertices vertices;
  const Atlas atlas(scene);
  const float du = float(kTile) / float(atlas.width), dv = float(kTile) / float(atlas.height);
  for (size_t b = 0; b < count; ++b) {
    const GltfScene::Block& block = scene.blocks[b];
    Float3 corners[8];
    Float3 centre{0, 0, 0};
    for (int k = 0; k < 8; ++k) {
      corners[k] = ToGltf(block.corners[k]);
      centre = {centre.x + corners[k].x / 8, centre.y + corners[k].y / 8,
                centre.z + corners[k].z / 8};
    }
    for (int f = 0; f < 6; ++f) {
      Float3 p[4];
      float u[4], v[4];
      Float3 middle{0, 0, 0};
      for (int k = 0; k < 4; ++k) {
        p[k] = corners[kFaceCorners[f][k]];
        middle = {middle.x + p[k].x / 4, middle.y + p[k].y / 4, middle.z + p[k].z / 4};
        u[k] = float(atlas.Column(b, f)) * du + kFaceU[k] * du;
        v[k] = float(atlas.Row(b, f)) * dv + kFaceV[k] * dv;
      }
      AddQuad(&vertices, p, u, v, Minus(middle, centre));
    }
  }
  // The table's picture sits in the corner of one a power of two a side, as the atlas does.
  const bool table_painted = scene.tableWidth > 0 && scene.tableHeight > 0;
  const int table_image_width = int(std::bit_ceil(unsigned(std::max(scene.tableWidth, 1))));
  const int table_image_height = int(std::bit_ceil(unsigned(std::max(scene.tableHeight, 1))));
  {
    Float3 p[4];
    float u[4], v[4];
    for (int k = 0; k < 4; ++k) {
      p[k] = ToGltf(scene.tableCorners[k]);
      u[k] = kFaceU[k] * float(scene.tableWidth) / float(table_image_width);
      v[k] = kFaceV[k] * float(scene.tableHeight) / float(table_image_height);
    }
    AddQuad(&vertices, p, u, v, Double3{0.0, 1.0, 0.0});
  }
  // What the file will say, checked before it is written: glTF has no place for a number that is
  // not finite, and a viewer lights only unit normals.
  for (size_t i = 0; i < vertices.positions.size(); ++i) {
    const Float3& p = vertices.positions[i];
    if (!Finite({p.x, p.y, p.z})) return *why = "a corner is too far away to be exported", false;
    if (!IsUnit(vertices.normals[i])) return *why = "a face has no direction to export", false;
  }

  std::vector<uint8_t> atlas_png, table_png;
  if (count > 0 && !platform::image::EncodePng(atlas.pixels.data(), atlas.width, atlas.height,
                                               atlas.width, nullptr, &atlas_png, why, kPngLevel))
    return false;
  if (table_painted) {
    std::vector<uint32_t> pixels(size_t(table_image_width) * size_t(table_image_height), 0xFFFFFFu);
    for (int y = 0; y < scene.tableHeight; ++y)
      for (int x = 0; x < scene.tableWidth; ++x) {
        const uint8_t* t = &scene.tableTexels[3 * (size_t(y) * scene.tableWidth + size_t(x))];
        pixels[size_t(y) * table_image_width + size_t(x)] =
            uint32_t(t[0]) << 16 | uint32_t(t[1]) << 8 | t[2];
      }
    if (!platform::image::EncodePng(pixels.data(), table_image_width, table_image_height,
                                    table_image_width, nullptr, &table_png, why, kPngLevel))
      return false;
  }

  // Every block shares one index list: each face's quad as the fan 0 1 2, 0 2 3.
  uint16_t indices[6 * 6];
  for (int f = 0; f < 6; ++f) {
    const uint16_t base = uint16_t(f * kFaceVertices);
    const uint16_t quad[6] = {0, 1, 2, 0, 2, 3};
    for (int k = 0; k < 6; ++k) indices[f * 6 + k] = uint16_t(base + quad[k]);
  }
  Binary bin;
  std::vector<View> views;
  auto view = [&](const void* data, size_t bytes, int target, int stride) {
    views.push_back({bin.Append(data, bytes), bytes, target, stride});
    return int(views.size() - 1);
  };
  const int index_view = view(indices, sizeof indices, kElementArrayBuffer, 0);
  const int position_view =
      view(vertices.positions.data(), vertices.positions.size() * sizeof(Float3), kArrayBuffer,
           int(sizeof(Float3)));
  const int normal_view = view(vertices.normals.data(), vertices.normals.size() * sizeof(Float3),
                               kArrayBuffer, int(sizeof(Float3)));
  const int uv_view = view(vertices.uvs.data(), vertices.uvs.size() * sizeof(float), kArrayBuffer,
                           int(2 * sizeof(float)));
  const int atlas_view = count > 0 ? view(atlas_png.data(), atlas_png.size(), 0, 0) : -1;
  const int table_view = table_painted ? view(table_png.data(), table_png.size(), 0, 0) : -1;

  Json json;
  json << "{\"asset\":{\"version\":\"2.0\",\"generator\":\"" << generator << "\"}";
  json << ",\"scene\":0,\"scenes\":[{\"name\":\"construction\",\"nodes\":[0]}]";
  // Nodes: the root, the table, then one per block.
  json << ",\"nodes\":[{\"name\":\"Zentrova\",\"children\":[";
  for (size_t n = 1; n <= count + 1; ++n) json << (n > 1 ? "," : "") << n;
  json << "]},{\"name\":\"table\",\"mesh\":" << count << "}";
  for (size_t b = 0; b < count; ++b) {
    json << ",{\"name\":\"block " << b << "\",\"mesh\":" << b;
    const auto& glue = scene.blocks[b].glue;
    if (!glue.empty()) {
      // A link from a face of this block to a face of another, as node indices and face numbers
      // in the toy's order: bottom, top, low y, high y, low x, high x.
      json << ",\"extras\":{\"glue\":[";
      for (size_t g = 0; g < glue.size(); ++g)
        json << (g ? "," : "") << "{\"face\":" << glue[g].face
             << ",\"node\":" << size_t(glue[g].otherBlock) + 2
             << ",\"otherFace\":" << glue[g].otherFace << "}";
      json << "]}";
    }
    json << "}";
  }
  json << "]";
  // Meshes: each block's, then the table's, which uses the first face's six indices.
  const int block_material = 0, table_material = count > 0 ? 1 : 0;
  auto primitive = [&](size_t mesh, int index_accessor, int material) {
    const size_t first = 2 + mesh * 3;
    json << "{\"primitives\":[{\"attributes\":{\"POSITION\":" << first
         << ",\"NORMAL\":" << first + 1 << ",\"TEXCOORD_0\":" << first + 2
         << "},\"indices\":" << index_accessor << ",\"material\":" << material << "}]";
  };
  json << ",\"meshes\":[";
  for (size_t b = 0; b < count; ++b) {
    primitive(b, 0, block_material);
    json << ",\"name\":\"block " << b << "\"},";
  }
  primitive(count, 1, table_material);
  json << ",\"name\":\"table\"}]";
  // Accessors: the two index lists, then position, normal and atlas place of every mesh.
  json << ",\"accessors\":[{\"bufferView\":" << index_view
       << ",\"componentType\":" << kUnsignedShort
       << ",\"count\":36,\"type\":\"SCALAR\"},{\"bufferView\":" << index_view
       << ",\"componentType\":" << kUnsignedShort << ",\"count\":6,\"type\":\"SCALAR\"}";
  for (size_t mesh = 0; mesh <= count; ++mesh) {
    const size_t first = mesh * kBlockVertices;
    const int n = mesh < count ? kBlockVertices : kFaceVertices;
    Float3 low = vertices.positions[first], high = low;
    for (int k = 1; k < n; ++k) {
      const Float3& p = vertices.positions[first + size_t(k)];
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    json << ",{\"bufferView\":" << position_view << ",\"byteOffset\":" << first * sizeof(Float3)
         << ",\"componentType\":" << kFloat << ",\"count\":" << n << ",\"type\":\"VEC3\",\"min\":["
         << low.x << "," << low.y << "," << low.z << "],\"max\":[" << high.x << "," << high.y << ","
         << high.z << "]}";
    json << ",{\"bufferView\":" << normal_view << ",\"byteOffset\":" << first * sizeof(Float3)
         << ",\"componentType\":" << kFloat << ",\"count\":" << n << ",\"type\":\"VEC3\"}";
    json << ",{\"bufferView\":" << uv_view << ",\"byteOffset\":" << first * 2 * sizeof(float)
         << ",\"componentType\":" << kFloat << ",\"count\":" << n << ",\"type\":\"VEC2\"}";
  }
  json << "]";
  // Materials: the painted faces, then the table; plain colour, no shine, texels kept crisp.
  int textures = 0;
  json << ",\"materials\":[";
  auto material = [&](const char* name, bool textured) {
    json << "{\"name\":\"" << name << "\",\"pbrMetallicRoughness\":{";
    if (textured) json << "\"baseColorTexture\":{\"index\":" << textures++ << "},";
    json << "\"metallicFactor\":0,\"roughnessFactor\":1}}";
  };
  if (count > 0) material("painted faces", true), json << ",";
  material("table", table_painted);
  json << "]";
  if (textures > 0) {
    json << ",\"samplers\":[{\"magFilter\":" << kNearest << ",\"minFilter\":" << kNearest
         << ",\"wrapS\":" << kClampToEdge << ",\"wrapT\":" << kClampToEdge << "}]";
    json << ",\"textures\":[";
    for (int t = 0; t < textures; ++t)
      json << (t ? "," : "") << "{\"sampler\":0,\"source\":" << t << "}";
    json << "],\"images\":[";
    bool first = true;
    for (int v : {atlas_view, table_view}) {
      if (v < 0) continue;
      json << (first ? "" : ",") << "{\"bufferView\":" << v << ",\"mimeType\":\"image/png\"}";
      first = false;
    }
    json << "]";
  }
  json << ",\"bufferViews\":[";
  for (size_t v = 0; v < views.size(); ++v) {
    json << (v ? "," : "") << "{\"buffer\":0,\"byteOffset\":" << views[v].offset
         << ",\"byteLength\":" << views[v].length;
    if (views[v].target) json << ",\"target\":" << views[v].target;
    if (views[v].stride) json << ",\"byteStride\":" << views[v].stride;
    json << "}";
  }
  std::vector<uint8_t>& bin_bytes = bin.Bytes();
  json << "],\"buffers\":[{\"byteLength\":" << bin_bytes.size() << "}]}";

  // The container: a 12-byte header, the JSON chunk padded with spaces, the binary chunk with
  // zeros, each chunk a multiple of four bytes.
  std::string text = json.Text();
  text.resize((text.size() + 3) & ~size_t(3), ' ');
  bin_bytes.resize((bin_bytes.size() + 3) & ~size_t(3), 0);
  const uint32_t total = uint32_t(12 + 8 + text.size() + 8 + bin_bytes.size());
  out->clear();
  out->reserve(total);
  auto word = [&](uint32_t w) {
    for (int i = 0; i < 4; ++i) out->push_back(uint8_t(w >> (8 * i)));
  };
  word(0x46546C67u);  // "glTF"
  word(2);
  word(total);
  word(uint32_t(text.size()));
  word(0x4E4F534Au);  // "JSON"
  out->insert(out->end(), text.begin(), text.end());
  word(uint32_t(bin_bytes.size()));
  word(0x004E4942u);  // "BIN\0"
  out->insert(out->end(), bin_bytes.begin(), bin_bytes.end());
  return true;
}
