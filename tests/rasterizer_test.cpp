// The software device's drawing: where triangles land, the fill rule, depth, culling, sprites.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "gfx/graphics_device.h"
#include "platform/headless/headless_platform.h"
#include "platform/render/sprite.h"
#include "platform/render/vector_spans.h"
#include "platform/render/vertex_transform.h"
#include "reference_raster.h"

namespace r = platform::render;

namespace {

class Drawing : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(graphics.Create(&platform, 640, 480, false));
    device()->SetRenderState(r::RenderState::kCullMode, r::value::kCullNone);
    Clear();
  }
  r::RenderDevice* device() { return graphics.Device(); }
  void Clear() { device()->Clear(r::kClearTarget | r::kClearZBuffer, 0xFFFFFFFF, 1.0f, 0); }
  uint32_t Pixel(int x, int y) { return graphics.BackBuffer()->Pixels()[y * 640 + x]; }
  int CountNot(uint32_t colour) {
    int n = 0;
    for (int i = 0; i < 640 * 480; ++i) n += graphics.BackBuffer()->Pixels()[i] != colour;
    return n;
  }
  // A vertex given by its screen position: the fixed camera maps world (x, y) to screen
  // (320 - x, 240 - y) and world z to depth (80 - z) / 2000 + 0.5.
  static r::Vertex At(float sx, float sy, float z = 0, uint32_t colour = 0xFF000000, float u = 0,
                      float v = 0) {
    return {320.0f - sx, 240.0f - sy, z, colour, u, v};
  }
  void Fan(std::vector<r::Vertex> v) {
    device()->DrawPrimitiveUP(r::PrimitiveType::kTriangleFan, int(v.size()) - 2, v.data(),
                              sizeof(r::Vertex));
  }

  platform::HeadlessPlatform platform;
  GraphicsDevice graphics;
};

TEST_F(Drawing, ATexturedQuadThroughTheFixedCameraLandsOnItsPixelsWithItsTexels) {
  std::unique_ptr<r::Texture> texture;
  ASSERT_EQ(device()->CreateTexture(2, 2, &texture), r::Result::kOk);
  const uint32_t texels[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF000000};
  std::copy(texels, texels + 4, texture->MutableTexels());
  device()->SetTexture(0, texture.get());
  Fan({At(100, 50, 0, 0xFFFFFFFF, 0, 0), At(110, 50, 0, 0xFFFFFFFF, 1, 0),
       At(110, 60, 0, 0xFFFFFFFF, 1, 1), At(100, 60, 0, 0xFFFFFFFF, 0, 1)});
  // Pixel centres at integer coordinates: columns 100..109 and rows 50..59, the right and bottom
  // edges belong to the neighbours.
  EXPECT_EQ(CountNot(0xFFFFFF), 100);
  EXPECT_EQ(Pixel(100, 50), 0xFF0000u);
  EXPECT_EQ(Pixel(104, 54), 0xFF0000u);
  EXPECT_EQ(Pixel(105, 54), 0x00FF00u);
  EXPECT_EQ(Pixel(104, 55), 0x0000FFu);
  EXPECT_EQ(Pixel(109, 59), 0x000000u);
  EXPECT_EQ(Pixel(110, 55), 0xFFFFFFu);
  EXPECT_EQ(Pixel(105, 60), 0xFFFFFFu);
  EXPECT_EQ(Pixel(99, 55), 0xFFFFFFu);
}

TEST_F(Drawing, TheDiffuseColourModulatesTheTexture) {
  std::unique_ptr<r::Texture> texture;
  device()->CreateTexture(1, 1, &texture);
  texture->MutableTexels()[0] = 0xFF80FF40;
  device()->SetTexture(0, texture.get());
  Fan({At(10, 10, 0, 0xFF808080), At(20, 10, 0, 0xFF808080), At(20, 20, 0, 0xFF808080),
       At(10, 20, 0, 0xFF808080)});
  EXPECT_EQ(Pixel(15, 15), 0x408020u);
}

TEST_F(Drawing, TwoTrianglesOfAFanShareTheirEdgeWithoutGapsOrOverlap) {
  // Corners off the pixel grid, and a diagonal edge between the two triangles.
  const r::Vertex a = At(100.3f, 50.6f), b = At(140.8f, 52.1f), c = At(137.2f, 91.4f),
                  d = At(98.9f, 88.2f);
  Fan({a, b, c});
  const int first = CountNot(0xFFFFFF);
  Clear();
  Fan({a, c, d});
  const int second = CountNot(0xFFFFFF);
  Clear();
  Fan({a, b, c, d});
  const int both = CountNot(0xFFFFFF);
  EXPECT_EQ(first + second, both) << "no pixel is drawn by both triangles";
  // No gaps: every pixel centre inside the quad is drawn.
  int missing = 0;
  for (int y = 60; y < 80; ++y)
    for (int x = 110; x < 130; ++x) missing += Pixel(x, y) == 0xFFFFFFu;
  EXPECT_EQ(missing, 0);
  EXPECT_GT(both, 1400);
}

TEST_F(Drawing, AdjacentQuadsTileARowExactly) {
  for (int i = 0; i < 4; ++i) {
    const uint32_t colour = 0xFF000000u | uint32_t(i + 1);
    const float x = 100.5f + 10.0f * i;
    Fan({At(x, 50.5f, 0, colour), At(x + 10, 50.5f, 0, colour), At(x + 10, 60.5f, 0, colour),
         At(x, 60.5f, 0, colour)});
  }
  for (int x = 101; x <= 140; ++x) EXPECT_EQ(Pixel(x, 55), uint32_t((x - 101) / 10 + 1)) << x;
  EXPECT_EQ(Pixel(100, 55), 0xFFFFFFu);
  EXPECT_EQ(Pixel(141, 55), 0xFFFFFFu);
}

TEST_F(Drawing, NearerGeometryWinsTheDepthTestWhateverTheOrder) {
  auto square = [&](float z, uint32_t colour) {
    Fan({At(10, 10, z, colour), At(30, 10, z, colour), At(30, 30, z, colour),
         At(10, 30, z, colour)});
  };
  square(10, 0xFFFF0000);   // world z 10: depth (80 - 10) / 2000 + 0.5
  square(-10, 0xFF00FF00);  // farther
  EXPECT_EQ(Pixel(20, 20), 0xFF0000u);
  square(20, 0xFF0000FF);  // nearer
  EXPECT_EQ(Pixel(20, 20), 0x0000FFu);
  square(20, 0xFFFFFF00);  // equal depth: less-or-equal lets it through
  EXPECT_EQ(Pixel(20, 20), 0xFFFF00u);
  device()->SetRenderState(r::RenderState::kZEnable, 0);
  square(-500, 0xFF123456);
  EXPECT_EQ(Pixel(20, 20), 0x123456u);
}

TEST_F(Drawing, PixelsOutsideTheDepthRangeAreDiscarded) {
  // Depth (80 - z) / 2000 + 0.5 leaves 0..1 for z beyond 1080 or below -920.
  Fan({At(10, 10, 1100), At(30, 10, 1100), At(30, 30, 1100), At(10, 30, 1100)});
  EXPECT_EQ(CountNot(0xFFFFFF), 0);
}

TEST_F(Drawing, CullModesDropTheTrianglesOfTheirWinding) {
  const std::vector<r::Vertex> clockwise = {At(10, 10), At(30, 10), At(30, 30)};
  const std::vector<r::Vertex> counter = {At(50, 10), At(50, 30), At(70, 30)};
  auto drawn = [&](uint32_t mode) {
    Clear();
    device()->SetRenderState(r::RenderState::kCullMode, mode);
    Fan(clockwise);
    Fan(counter);
    return std::pair{Pixel(25, 15) != 0xFFFFFFu, Pixel(55, 25) != 0xFFFFFFu};
  };
  EXPECT_EQ(drawn(r::value::kCullNone), std::pair(true, true));
  EXPECT_EQ(drawn(r::value::kCullCounterClockwise), std::pair(true, false));
  EXPECT_EQ(drawn(r::value::kCullClockwise), std::pair(false, true));
}

TEST_F(Drawing, FarOffScreenAndDegenerateTrianglesDrawNothingAndDoNotCrash) {
  Fan({At(10, 10), At(20, 20), At(30, 30)});
  Fan({At(-100, -100), At(-50, -100), At(-50, -50)});
  // A body falling for ever: its triangles end up anywhere, even past the float range's middle.
  for (float far : {1e9f, -1e9f, 1e30f, -1e30f, 3e38f}) {
    Fan({At(far, 10), At(far + 50, 10), At(far, 60)});
    Fan({At(10, far), At(60, far), At(10, far * 0.5f)});
    Fan({At(far, far), At(-far, far), At(far, far * 2)});
  }
  const float nan = std::nanf(""), inf = INFINITY;
  Fan({At(nan, 10), At(60, 10), At(10, 60)});
  Fan({At(10, 10), At(60, nan), At(10, 60)});
  Fan({At(10, 10), At(60, 10), At(10, 60, nan)});
  Fan({At(10, 10), At(inf, 10), At(10, 60)});
  Fan({At(10, 10, 0, 0xFF000000, nan, 0), At(60, 10), At(10, 60)});
  EXPECT_EQ(CountNot(0xFFFFFF), 0);
}

TEST_F(Drawing, AHugeTriangleIsCutToTheViewAndDrawnWhereItCoversIt) {
  // Corners a billion pixels away; the view lies wholly inside.
  Fan({At(-1e9f, -1e9f), At(3e9f, -1e9f), At(-1e9f, 3e9f)});
  EXPECT_EQ(CountNot(0xFFFFFF), 640 * 480);
  // One far corner: rows 100 to 199 are covered from column 100 to the screen's edge.
  Clear();
  Fan({At(100, 100), At(100 + 1e8f, 100), At(100, 200)});
  EXPECT_EQ(CountNot(0xFFFFFF), 540 * 100);
  EXPECT_EQ(Pixel(639, 199), 0x000000u);
  EXPECT_EQ(Pixel(99, 150), 0xFFFFFFu);
  // A corner far below the screen and far beyond the depth range (depth 0.5 at the top, a
  // million there): depth reaches 1 halfway down, and only the upper half is drawn.
  Clear();
  Fan({At(0, 0, 80), At(640, 0, 80), At(0, 4.8e8f, -2e9f)});
  const int half = CountNot(0xFFFFFF);
  EXPECT_GE(half, 640 * 238);
  EXPECT_LE(half, 640 * 241);
  EXPECT_EQ(Pixel(5, 2), 0x000000u);
  EXPECT_EQ(Pixel(5, 470), 0xFFFFFFu);
}

TEST_F(Drawing, SpritesBlendByTexelAlphaTimesColourAlphaAtPixelPositions) {
  std::unique_ptr<r::Texture> texture;
  device()->CreateTexture(4, 2, &texture);
  for (int i = 0; i < 8; ++i) texture->MutableTexels()[i] = 0xFF000000;  // opaque black
  texture->MutableTexels()[3] = 0x00000000;                              // one clear texel
  std::unique_ptr<r::Sprite> sprite;
  r::CreateSprite(device(), &sprite);
  r::Vector2 at{100, 20};
  ASSERT_TRUE(sprite->Begin());
  sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 0, &at, 0xFFFFFFFF);
  sprite->End();
  EXPECT_EQ(Pixel(100, 20), 0x000000u);
  EXPECT_EQ(Pixel(103, 20), 0xFFFFFFu) << "alpha 0 leaves the background";
  EXPECT_EQ(Pixel(104, 20), 0xFFFFFFu);
  EXPECT_EQ(Pixel(100, 22), 0xFFFFFFu);
  r::Vector2 faint{200, 20};
  sprite->Begin();
  sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 0, &faint, 0x48FFFFFF);
  sprite->End();
  // Black at alpha 72 over white: 255 * (255 - 72) / 255 = 183.
  EXPECT_EQ(Pixel(200, 20), 0xB7B7B7u);
  sprite->OnLostDevice();
  EXPECT_FALSE(sprite->Begin()) << "a lost sprite draws nothing until reset";
  sprite->OnResetDevice();
  EXPECT_TRUE(sprite->Begin());
  sprite->End();
}

TEST_F(Drawing, SpritesHonourSourceRectangleScalingAndRotation) {
  std::unique_ptr<r::Texture> texture;
  device()->CreateTexture(2, 1, &texture);
  texture->MutableTexels()[0] = 0xFFFF0000;
  texture->MutableTexels()[1] = 0xFF0000FF;
  std::unique_ptr<r::Sprite> sprite;
  r::CreateSprite(device(), &sprite);
  r::Rect second{1, 0, 2, 1};
  r::Vector2 scale{3, 3}, at{10, 10};
  sprite->Begin();
  sprite->Draw(texture.get(), &second, &scale, nullptr, 0, &at, 0xFFFFFFFF);
  EXPECT_EQ(Pixel(10, 10), 0x0000FFu);
  EXPECT_EQ(Pixel(12, 12), 0x0000FFu);
  EXPECT_EQ(Pixel(13, 10), 0xFFFFFFu);
  // A quarter turn about the origin puts the picture's row into a column left of the point.
  r::Vector2 turned_at{50, 50};
  sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 1.5707964f, &turned_at, 0xFFFFFFFF);
  sprite->End();
  EXPECT_EQ(Pixel(49, 50), 0xFF0000u);
  EXPECT_EQ(Pixel(49, 51), 0x0000FFu);
}

// Rows of opaque texels take quicker paths under a white colour; every pixel still is texel
// alpha times colour alpha, source over destination, rounded to nearest: random pictures with
// opaque and see-through rows, random backgrounds, colours white, faint, clear and tinted.
TEST_F(Drawing, SpriteRowsOfOpaqueTexelsBlendAsEveryOtherPixel) {
  auto blend = [](uint32_t dst, uint32_t texel, uint32_t color) {
    const uint32_t a = (texel >> 24) * (color >> 24) / 255;
    uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
      const uint32_t c = ((texel >> shift) & 0xFF) * ((color >> shift) & 0xFF) / 255;
      const uint32_t d = (dst >> shift) & 0xFF;
      out |= (a == 255 ? c : a == 0 ? d : (c * a + d * (255 - a) + 127) / 255) << shift;
    }
    return out;
  };
  std::unique_ptr<r::Texture> texture;
  device()->CreateTexture(37, 12, &texture);
  uint32_t seed = 5;
  auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 37; ++x)
      texture->MutableTexels()[y * 37 + x] =
          (y % 3 == 2 && x == 9 ? (next() >> 8) & 0x7F000000u : 0xFF000000u) | (next() >> 8);
  std::unique_ptr<r::Sprite> sprite;
  r::CreateSprite(device(), &sprite);
  uint32_t* pixels = graphics.BackBuffer()->Pixels();
  for (uint32_t color : {0xFFFFFFFFu, 0x48FFFFFFu, 0x00FFFFFFu, 0x80FF8040u, 0xFFFFFFFEu}) {
    std::vector<uint32_t> before(640 * 480);
    for (uint32_t& p : before) p = next() & 0x00FFFFFF;
    std::copy(before.begin(), before.end(), pixels);
    r::Vector2 at{-5, 7};  // reaching past the left edge
    sprite->Begin();
    sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 0, &at, color);
    sprite->End();
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const int tx = x + 5, ty = y - 7;
        const bool on = tx >= 0 && tx < 37 && ty >= 0 && ty < 12;
        const uint32_t want =
            on ? blend(before[y * 640 + x], texture->Texels()[ty * 37 + tx], color)
               : before[y * 640 + x];
        ASSERT_EQ(pixels[y * 640 + x], want)
            << std::hex << color << std::dec << " " << x << "," << y;
      }
  }
  // A row that was opaque gets a see-through texel: the next draw blends it.
  texture->MutableTexels()[3] = 0x10204080u;
  std::fill(pixels, pixels + 640 * 480, 0x00FFFFFFu);
  r::Vector2 at{0, 0};
  sprite->Begin();
  sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 0, &at, 0xFFFFFFFFu);
  sprite->End();
  EXPECT_EQ(pixels[3], blend(0x00FFFFFFu, 0x10204080u, 0xFFFFFFFFu));
  EXPECT_EQ(pixels[4], texture->Texels()[4] & 0x00FFFFFFu);
}

// Inside a scene the triangles are kept until its end, but a sprite or a clear drawn after them
// still lands over them, and a scene's triangles are gone once it has ended.
TEST_F(Drawing, ASceneKeepsItsTrianglesUnderWhatIsDrawnAfterThem) {
  std::unique_ptr<r::Texture> texture;
  device()->CreateTexture(4, 4, &texture);
  std::fill(texture->MutableTexels(), texture->MutableTexels() + 16, 0xFF0000FFu);
  std::unique_ptr<r::Sprite> sprite;
  r::CreateSprite(device(), &sprite);
  ASSERT_TRUE(device()->BeginScene());
  Fan({At(0, 0), At(40, 0), At(40, 40), At(0, 40)});
  EXPECT_EQ(Pixel(5, 5), 0xFFFFFFu);  // kept, not yet filled
  r::Vector2 at{2, 2};
  sprite->Begin();
  sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 0, &at, 0xFFFFFFFF);
  sprite->End();
  EXPECT_EQ(Pixel(3, 3), 0x0000FFu);    // the sprite over the quad
  EXPECT_EQ(Pixel(20, 20), 0x000000u);  // the quad
  Fan({At(50, 0), At(60, 0), At(60, 10), At(50, 10)});
  const r::Rect rect{50, 0, 55, 10};
  device()->Clear(&rect, 1, r::kClearTarget, 0xFF00FF00, 1.0f);
  device()->EndScene();
  EXPECT_EQ(Pixel(52, 5), 0x00FF00u);  // the clear over the quad drawn before it
  EXPECT_EQ(Pixel(57, 5), 0x000000u);
  Clear();
  ASSERT_TRUE(device()->BeginScene());
  device()->EndScene();
  EXPECT_EQ(CountNot(0xFFFFFF), 0);
}

// A texture of one texel repeated is drawn without its coordinates; once a texel differs, by a
// lock or a hand-out of its texels, the texels are read again.
TEST_F(Drawing, ATextureOfOneTexelFollowsEveryWriteToIt) {
  std::unique_ptr<r::Texture> texture;
  ASSERT_EQ(device()->CreateTexture(8, 8, &texture), r::Result::kOk);
  std::fill(texture->MutableTexels(), texture->MutableTexels() + 64, 0xFF00FF00u);
  uint32_t texel = 0;
  EXPECT_TRUE(texture->Uniform(&texel));
  EXPECT_EQ(texel, 0xFF00FF00u);
  device()->SetTexture(0, texture.get());
  auto quad = [&] {
    Fan({At(100, 50, 0, 0xFFFFFFFF, 0, 0), At(116, 50, 0, 0xFFFFFFFF, 1, 0),
         At(116, 66, 0, 0xFFFFFFFF, 1, 1), At(100, 66, 0, 0xFFFFFFFF, 0, 1)});
  };
  quad();
  EXPECT_EQ(Pixel(100, 50), 0x00FF00u);
  EXPECT_EQ(Pixel(115, 65), 0x00FF00u);
  r::LockedRect locked;
  ASSERT_TRUE(texture->Lock(&locked));
  EXPECT_FALSE(texture->Uniform(&texel));  // being written
  static_cast<uint32_t*>(locked.bits)[63] = 0xFFFF0000u;
  texture->Unlock();
  EXPECT_FALSE(texture->Uniform(&texel));
  Clear();
  quad();
  EXPECT_EQ(Pixel(100, 50), 0x00FF00u);
  EXPECT_EQ(Pixel(115, 65), 0xFF0000u);  // texel (7, 7), two pixels a texel
  texture->MutableTexels()[63] = 0xFF00FF00u;
  EXPECT_TRUE(texture->Uniform(&texel));
  Clear();
  quad();
  EXPECT_EQ(Pixel(115, 65), 0x00FF00u);
  // Kept by a scene while of one texel, painted before the scene is filled: the paint shows.
  Clear();
  ASSERT_TRUE(device()->BeginScene());
  quad();
  texture->MutableTexels()[0] = 0xFF0000FFu;
  device()->EndScene();
  EXPECT_EQ(Pixel(100, 50), 0x0000FFu);
  EXPECT_EQ(Pixel(115, 65), 0x00FF00u);
}

// Random fans of every kind (slivers, huge, crossing the depth range, wrapped and far-off texture
// coordinates, textures of every shape, of one texel repeated or not, flat and graded colours,
// every cull and depth mode) drawn
// by the device, at once or kept by a scene and filled whole or in bands, and by the rasterizer
// as first written: the same pixels and depths, bit for bit, with and without the vector spans.
TEST_F(Drawing, RandomFansGiveThePixelsAndDepthsOfTheFirstRasterizer) {
  device()->SetSkipHiddenFrom(0);  // these scenes are small
  device()->SetNearestFirstFrom(0);
  const r::Matrix identity = r::Matrix::Identity();
  for (r::TransformType type :
       {r::TransformType::kWorld, r::TransformType::kView, r::TransformType::kProjection})
    device()->SetTransform(type, identity);
  std::vector<std::unique_ptr<r::Texture>> textures;
  std::mt19937 random(20261207);
  for (auto [w, h] : {std::pair{16, 16}, {8, 4}, {240, 160}, {3, 5}, {1, 1}}) {
    textures.emplace_back();
    ASSERT_EQ(device()->CreateTexture(w, h, &textures.back()), r::Result::kOk);
    uint32_t* texels = textures.back()->MutableTexels();
    for (int i = 0; i < w * h; ++i) texels[i] = uint32_t(random());
  }
  // Textures of one texel repeated, which take their own path, of a power-of-two size or not.
  for (auto [w, h] : {std::pair{8, 8}, {240, 160}}) {
    textures.emplace_back();
    ASSERT_EQ(device()->CreateTexture(w, h, &textures.back()), r::Result::kOk);
    const uint32_t texel = uint32_t(random());
    std::fill(textures.back()->MutableTexels(), textures.back()->MutableTexels() + w * h, texel);
    uint32_t one;
    ASSERT_TRUE(textures.back()->Uniform(&one));
    ASSERT_EQ(one, texel);
  }
  std::vector<uint32_t> pixels(640 * 480);
  std::vector<float> depth(640 * 480);
  auto uniform = [&](float lo, float hi) {
    return std::uniform_real_distribution<float>(lo, hi)(random);
  };
  auto chance = [&](int percent) { return int(random() % 100) < percent; };
  const uint32_t culls[3] = {r::value::kCullNone, r::value::kCullClockwise,
                             r::value::kCullCounterClockwise};
  int64_t drawn = 0;  // depths written, over all rounds: the comparison is not of empty frames
  // Every other round without the vector spans, where the processor has them. The last rounds
  // are crowds of small fans that a fill may take nearest first: depth tests and writes on,
  // textures of power-of-two sides, one colour a fan.
  const int power_of_two[4] = {0, 1, 4, 5};
  for (int round = 0; round < 86; ++round) {
    const bool crowd = round >= 80;
    r::AllowVectorSpans(round % 2 == 0);
    Clear();
    std::fill(pixels.begin(), pixels.end(), 0x00FFFFFFu);
    std::fill(depth.begin(), depth.end(), 1.0f);
    reference_raster::Target target{
        pixels.data(),           depth.data(), 640, 480, culls[round % 3], crowd || round % 7 != 3,
        crowd || round % 5 != 4, nullptr};
    auto any_texture = [&] {
      return crowd ? power_of_two[random() % 4] : int(random() % (textures.size() + 1));
    };
    const int texture = any_texture();
    target.texture = texture < int(textures.size()) ? textures[texture].get() : nullptr;
    device()->SetRenderState(r::RenderState::kCullMode, target.cull);
    device()->SetRenderState(r::RenderState::kZEnable, target.z_test);
    device()->SetRenderState(r::RenderState::kZWriteEnable, target.z_write);
    device()->SetTexture(0, target.texture);
    // Drawn at once, kept by a scene and filled at its end, or filled in bands of rows on two
    // threads at the same time.
    const int mode = round % 3;
    if (mode > 0) {
      ASSERT_TRUE(device()->BeginScene());
    }
    for (int fan = 0; fan < (crowd ? 2500 : 150); ++fan) {
      if (chance(10)) {  // a change of texture in the middle of the scene
        const int next = any_texture();
        target.texture = next < int(textures.size()) ? textures[next].get() : nullptr;
        device()->SetTexture(0, target.texture);
      }
      const float size = crowd || chance(60) ? uniform(0.5f, 40.0f)
                         : chance(80)        ? uniform(40, 700)
                                             : 60000;
      const float cx = uniform(-60, 700), cy = uniform(-60, 540);
      // Some fans level at one of a few depths, so that where they overlap the depths tie and
      // the one drawn last must win, whatever order a fill takes them in.
      const bool level = chance(crowd ? 50 : 25);
      const float z = level        ? 0.125f * float(1 + random() % 7)
                      : chance(85) ? uniform(0.0f, 1.0f)
                                   : uniform(-0.3f, 1.3f);
      const float dz = level || chance(20) ? 0.0f : uniform(-0.2f, 0.2f);
      const float uv_scale = chance(70) ? 1.0f : chance(70) ? uniform(0, 30) : 3e7f;
      const float uv_offset = chance(60) ? 0.0f : uniform(-40, 40);
      const uint32_t flat = chance(50) ? 0xFFFFFFFFu : uint32_t(random()) | 0xFF000000u;
      const bool graded = !crowd && chance(15);
      std::vector<r::Vertex> v(chance(50) ? 4 : 3);
      std::vector<r::ScreenVertex> s(v.size());
      for (size_t i = 0; i < v.size(); ++i) {
        const float sx = cx + uniform(-size, size), sy = cy + uniform(-size, size);
        v[i] = {sx / 320.0f - 1.0f,
                1.0f - sy / 240.0f,
                z + uniform(-dz, dz),
                graded ? uint32_t(random()) | 0xFF000000u : flat,
                uniform(0, 1) * uv_scale + uv_offset,
                uniform(0, 1) * uv_scale + uv_offset};
        // The device's viewport step with identity transforms.
        s[i] = {0.0f + (1.0f + v[i].x) * 320.0f,
                0.0f + (1.0f - v[i].y) * 240.0f,
                0.0f + v[i].z * (1.0f - 0.0f),
                v[i].u,
                v[i].v,
                v[i].diffuse};
      }
      Fan(v);
      for (size_t i = 1; i + 1 < s.size(); ++i)
        reference_raster::DrawTriangle(target, s[0], s[i], s[i + 1]);
    }
    if (mode == 1) device()->EndScene();
    if (mode == 2) {
      const int split = int(random() % 481);
      std::thread lower([&] { device()->FillRows(split, 480); });
      device()->FillRows(0, split);
      lower.join();
      device()->EndScene(true);
    }
    const uint32_t* got = graphics.BackBuffer()->Pixels();
    const float* got_depth = device()->GetDepthStencilSurface()->Depth();
    for (int i = 0; i < 640 * 480; ++i) {
      drawn += got_depth[i] != 1.0f;
      ASSERT_EQ(got[i], pixels[i]) << "round " << round << " pixel " << i % 640 << "," << i / 640;
      ASSERT_EQ(std::memcmp(&got_depth[i], &depth[i], sizeof(float)), 0)
          << "round " << round << " depth " << i % 640 << "," << i / 640;
    }
  }
  r::AllowVectorSpans(true);
  EXPECT_GT(drawn, 640 * 480);
  EXPECT_GT(device()->HiddenSkipped(), 200u);  // the scenes passed over hidden triangles
}

// The transform of a vertex, its coordinates in one vector, against each coordinate worked out
// alone, bit for bit: random matrices (projective ones too, and w of 1 or 0 taken as it is) and
// vertices, some coordinates infinite or not numbers.
TEST(VertexTransform, GivesTheScreenVertexOfEachCoordinateWorkedOutAlone) {
  std::mt19937 random(20261209);
  auto value = [&] {
    const int kind = int(random() % 16);
    if (kind == 0) return 0.0f;
    if (kind == 1) return 1.0f;
    if (kind == 2) return -0.0f;
    if (kind == 3) return std::numeric_limits<float>::quiet_NaN();
    if (kind == 4) return std::numeric_limits<float>::infinity();
    return std::uniform_real_distribution<float>(-1000.0f, 1000.0f)(random);
  };
  for (int round = 0; round < 20000; ++round) {
    r::Matrix m;
    for (auto& row : m.m)
      for (float& e : row) e = value();
    if (round % 3 == 0) m.m[0][3] = m.m[1][3] = m.m[2][3] = 0.0f, m.m[3][3] = value();
    const r::Viewport vp{uint32_t(random() % 64),
                         uint32_t(random() % 64),
                         1 + uint32_t(random() % 1000),
                         1 + uint32_t(random() % 1000),
                         value(),
                         value()};
    const r::Vertex v{value(), value(), value(), uint32_t(random()), value(), value()};
    float x = v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + m.m[3][0];
    float y = v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + m.m[3][1];
    float z = v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + m.m[3][2];
    const float w = v.x * m.m[0][3] + v.y * m.m[1][3] + v.z * m.m[2][3] + m.m[3][3];
    if (w != 1.0f && w != 0.0f) x /= w, y /= w, z /= w;
    const float expected[3] = {float(vp.x) + (1.0f + x) * (float(vp.width) * 0.5f),
                               float(vp.y) + (1.0f - y) * (float(vp.height) * 0.5f),
                               vp.min_z + z * (vp.max_z - vp.min_z)};
    const r::ScreenVertex s = r::VertexTransform(m, vp)(v);
    const float got[3] = {s.x, s.y, s.z};
    for (int k = 0; k < 3; ++k) {
      if (std::isnan(expected[k])) {
        ASSERT_TRUE(std::isnan(got[k])) << "round " << round << " coordinate " << k;
        continue;
      }
      ASSERT_EQ(std::memcmp(&expected[k], &got[k], sizeof(float)), 0)
          << "round " << round << " coordinate " << k << ": " << expected[k] << " " << got[k];
    }
    ASSERT_EQ(std::memcmp(&s.u, &v.u, 2 * sizeof(float)), 0);
    ASSERT_EQ(s.color, v.diffuse);
  }
}

}  // namespace
