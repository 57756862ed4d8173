// The PNG reader's refusal of a chunk that claims more than the file holds (the 135-byte file
// whose text chunk claims 2 GB), beside the read of a good picture of the same few bytes: the
// refusal must cost no more than reading what is there.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "bench_timing.h"
#include "platform/image/picture.h"
#include "play/construction_file.h"
#include "png_builder.h"
#include "test_app.h"
#include "zeros_construction.h"

namespace {

// Signature, a 4 x 4 RGBA header, and a text chunk of `length` declared bytes over `held` ones.
std::vector<uint8_t> WithText(uint32_t length, size_t held) {
  std::vector<uint8_t> bytes(png_builder::kSignature, png_builder::kSignature + 8);
  const std::vector<uint8_t> header = {0, 0, 0, 4, 0, 0, 0, 4, 8, 6, 0, 0, 0};
  const std::vector<uint8_t> ihdr = png_builder::Chunk("IHDR", header);
  bytes.insert(bytes.end(), ihdr.begin(), ihdr.end());
  std::vector<uint8_t> text(held, 'x');
  std::memcpy(text.data(), "Comment", 8);
  std::vector<uint8_t> chunk = png_builder::Chunk("tEXt", text);
  for (int b = 0; b < 4; ++b) chunk[size_t(b)] = uint8_t(length >> (24 - 8 * b));
  bytes.insert(bytes.end(), chunk.begin(), chunk.end());
  return bytes;
}

void Decode(benchmark::State& state, const std::vector<uint8_t>& bytes) {
  for (auto _ : state) {
    platform::image::Picture picture;
    std::string why;
    benchmark::DoNotOptimize(
        platform::image::DecodePng(bytes.data(), bytes.size(), &picture, &why));
  }
}

void BM_PngTextChunkPastTheEndRefused(benchmark::State& state) {
  std::vector<uint8_t> bytes = WithText(0x7E00000D, 90);
  bytes.resize(135);
  Decode(state, bytes);
}
BENCHMARK(BM_PngTextChunkPastTheEndRefused)->Unit(benchmark::kMicrosecond);

// The bound: a whole 4 x 4 picture read, with a text chunk of the same size that is all there.
void BM_PngSmallPictureRead(benchmark::State& state) {
  std::mt19937 random(1);
  png_builder::RandomPicture shape(random);
  shape.type = 6, shape.depth = 8, shape.channels = 4, shape.width = shape.height = 4;
  shape.samples.assign(4 * 4 * 4, 200);
  shape.ancillary = {png_builder::Chunk("tEXt", std::vector<uint8_t>(90, 'x'))};
  const std::vector<uint8_t> bytes = shape.Encode(false);
  Decode(state, bytes);
}
BENCHMARK(BM_PngSmallPictureRead)->Unit(benchmark::kMicrosecond);

// A construction chunk of some 160 KB that unpacks to 37 MB of zeros (the largest payload a
// file may claim), refused on its head, beside reading the hundred starting blocks' file in the
// same run: the refusal must cost no more than a real read.
void BM_ConstructionOfZerosRefused(benchmark::State& state) {
  const std::vector<uint8_t> zeros = ConstructionOfZeros();
  TestApp t;
  t.EnterPlay();
  std::vector<uint32_t> picture;
  int width = 0, height = 0;
  t.play().DrawPicture(&picture, &width, &height);
  std::vector<uint8_t> towers;
  std::string why;
  MakeConstructionPng(TakeSnapshot(t.world(), t.play()), picture.data(), width, height, &towers,
                      &why);
  std::vector<double> op, bound;
  for (auto _ : state) {
    Snapshot snapshot;
    bench::Clock::time_point start = bench::Clock::now();
    if (ReadConstructionPng(zeros.data(), zeros.size(), &snapshot, &why))
      state.SkipWithError("the zeros were read");
    op.push_back(bench::MsSince(start));
    start = bench::Clock::now();
    if (!ReadConstructionPng(towers.data(), towers.size(), &snapshot, &why))
      state.SkipWithError(why.c_str());
    bound.push_back(bench::MsSince(start));
  }
  state.counters["op_ms"] = bench::Median(op);
  state.counters["bound_ms"] = bench::Median(bound);
  state.counters["ratio"] = bench::Median(op) / bench::Median(bound);
  state.counters["file_kb"] = double(zeros.size()) / 1024.0;
}
BENCHMARK(BM_ConstructionOfZerosRefused)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
