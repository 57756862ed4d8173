// The software device: clear plus 1,200 textured cube-face triangles about 16 pixels on a side
// spread over the screen, the sprite draws of the title screen, and Present's copy, each beside a
// memset of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gfx/graphics_device.h"
#include "platform/headless/headless_platform.h"
#include "platform/render/sprite.h"

namespace r = platform::render;

namespace {

struct DeviceFixture {
  platform::HeadlessPlatform platform;
  GraphicsDevice graphics;
  std::unique_ptr<r::Texture> texture;
  std::vector<r::Vertex> quads;  // 600 quads of 4 vertices: 1,200 triangles
  DeviceFixture() {
    graphics.Create(&platform, 640, 480, false);
    graphics.Device()->CreateTexture(8, 8, &texture);
    for (int i = 0; i < 64; ++i) texture->MutableTexels()[i] = (i % 3) ? 0xFFFFFFFF : 0xFF808080;
    // Screen-aligned 16x16 quads on a grid, in world units = pixels around the origin.
    for (int i = 0; i < 600; ++i) {
      float x = float((i % 30) * 20 - 300), y = float((i / 30) * 22 - 220), z = float(i % 7);
      quads.push_back({x, y, z, 0xFFFFFFFF, 0, 0});
      quads.push_back({x + 16, y, z, 0xFFFFFFFF, 1, 0});
      quads.push_back({x + 16, y + 16, z, 0xFFFFFFFF, 1, 1});
      quads.push_back({x, y + 16, z, 0xFFFFFFFF, 0, 1});
    }
  }
};

void BM_ClearAnd1200Triangles(benchmark::State& state) {
  DeviceFixture f;
  r::RenderDevice* d = f.graphics.Device();
  d->SetRenderState(r::RenderState::kCullMode, r::value::kCullNone);
  d->SetTexture(0, f.texture.get());
  for (auto _ : state) {
    d->Clear(r::kClearTarget | r::kClearZBuffer, 0xFFFFFFFF, 1.0f, 0);
    for (size_t q = 0; q < f.quads.size(); q += 4)
      d->DrawPrimitiveUP(r::PrimitiveType::kTriangleFan, 2, &f.quads[q], sizeof(r::Vertex));
    benchmark::DoNotOptimize(d->GetBackBuffer()->Pixels());
  }
}
BENCHMARK(BM_ClearAnd1200Triangles)->Unit(benchmark::kMillisecond);

void BM_MemsetOfColourAndDepthBuffers(benchmark::State& state) {
  std::vector<uint32_t> colour(640 * 480);
  std::vector<float> depth(640 * 480);
  for (auto _ : state) {
    std::memset(colour.data(), 0xFF, colour.size() * 4);
    std::memset(depth.data(), 0, depth.size() * 4);
    benchmark::DoNotOptimize(colour.data());
    benchmark::DoNotOptimize(depth.data());
  }
}
BENCHMARK(BM_MemsetOfColourAndDepthBuffers)->Unit(benchmark::kMillisecond);

void BM_PresentCopy(benchmark::State& state) {
  DeviceFixture f;
  for (auto _ : state) benchmark::DoNotOptimize(f.graphics.Device()->Present());
}
BENCHMARK(BM_PresentCopy)->Unit(benchmark::kMillisecond);

void BM_MemcpyOfOneFrame(benchmark::State& state) {
  std::vector<uint32_t> a(640 * 480, 1), b(640 * 480);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size() * 4);
    benchmark::DoNotOptimize(b.data());
  }
}
BENCHMARK(BM_MemcpyOfOneFrame)->Unit(benchmark::kMillisecond);

void BM_SpriteOpaque512(benchmark::State& state) {
  DeviceFixture f;
  std::unique_ptr<r::Texture> picture;
  f.graphics.Device()->CreateTexture(512, 512, &picture);
  std::fill(picture->MutableTexels(), picture->MutableTexels() + 512 * 512, 0xFFFFFFFF);
  std::unique_ptr<r::Sprite> sprite;
  platform::render::CreateSprite(f.graphics.Device(), &sprite);
  r::Vector2 at{64, 0};
  for (auto _ : state) {
    sprite->Begin();
    sprite->Draw(picture.get(), nullptr, nullptr, nullptr, 0, &at, 0xFFFFFFFF);
    sprite->End();
  }
}
BENCHMARK(BM_SpriteOpaque512)->Unit(benchmark::kMillisecond);

}  // namespace
