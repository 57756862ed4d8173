// The 2D blits the palette and the cursors use.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bmp_builder.h"
#include "platform/gdi/device_context.h"
#include "platform/image/picture.h"

namespace gdi = platform::gdi;
namespace img = platform::image;

namespace {

struct Surface {
  explicit Surface(uint32_t fill, int w = 8, int h = 6) : pixels(size_t(w) * h, fill), width(w) {
    dc = gdi::DeviceContext::ForSurface(pixels.data(), w, h, w * 4);
  }
  uint32_t At(int x, int y) const { return pixels[size_t(y) * width + x]; }
  std::vector<uint32_t> pixels;
  int width;
  gdi::DeviceContext dc;
};

// A picture held in its file's layout, as the tools keep theirs.
struct FilePicture {
  FilePicture(const BmpShape& shape, const std::vector<uint32_t>& pixels)
      : bytes(MakeBmp(shape, pixels)) {
    std::string why;
    EXPECT_TRUE(img::ParseBmp(bytes.data(), bytes.size(), &layout, &why)) << why;
  }
  void Draw(Surface* s, int x, int y, gdi::RasterOp op) {
    gdi::StretchDIBits(&s->dc, x, y, layout.width, layout.height, 0, 0, layout.width, layout.height,
                       bytes.data() + layout.pixel_offset, bytes.size() - layout.pixel_offset,
                       layout, op);
  }
  std::vector<uint8_t> bytes;
  img::BitmapLayout layout;
};

TEST(Gdi, ACursorDrawnWithItsMaskKeepsTheBackgroundAroundItAndItsOwnColoursInside) {
  const uint32_t background = 0x336699;
  Surface screen(background);
  // A 3x2 cursor: a red pixel and a black outline pixel; white in the mask wherever it is not.
  FilePicture mask({3, 2, 24}, {0x000000, 0x000000, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF});
  FilePicture cursor({3, 2, 24}, {0xFF0000, 0x000000, 0x000000, 0x000000, 0x000000, 0x000000});
  mask.Draw(&screen, 2, 1, gdi::RasterOp::kSrcAnd);
  cursor.Draw(&screen, 2, 1, gdi::RasterOp::kSrcPaint);
  EXPECT_EQ(screen.At(2, 1), 0xFF0000u);
  EXPECT_EQ(screen.At(3, 1), 0x000000u) << "the black outline stays black";
  EXPECT_EQ(screen.At(4, 1), background);
  EXPECT_EQ(screen.At(2, 2), background);
  EXPECT_EQ(screen.At(1, 1), background);
}

TEST(Gdi, BlitsAreClippedOnEverySide) {
  std::vector<uint32_t> pixels(16, 0x00FF00);
  FilePicture green({4, 4, 24}, pixels);
  for (auto [x, y] : {std::pair{-2, -2}, {6, 4}, {-3, 3}, {7, -3}}) {
    Surface screen(0xFFFFFF);
    green.Draw(&screen, x, y, gdi::RasterOp::kSrcCopy);
    int drawn = 0;
    for (uint32_t p : screen.pixels) drawn += p == 0x00FF00;
    const int w = std::min(x + 4, 8) - std::max(x, 0), h = std::min(y + 4, 6) - std::max(y, 0);
    EXPECT_EQ(drawn, w * h) << x << "," << y;
  }
  Surface screen(0xFFFFFF);
  green.Draw(&screen, 100, 100, gdi::RasterOp::kSrcCopy);
  green.Draw(&screen, -100, 0, gdi::RasterOp::kSrcCopy);
  for (uint32_t p : screen.pixels) EXPECT_EQ(p, 0xFFFFFFu);
}

TEST(Gdi, StretchDIBitsReadsSixteenAndThirtyTwoBitFilesUnchanged) {
  for (int bits : {16, 32}) {
    FilePicture picture({2, -1, bits}, {0xF80000, 0x0000F8});
    Surface screen(0);
    picture.Draw(&screen, 0, 0, gdi::RasterOp::kSrcCopy);
    EXPECT_EQ(screen.At(0, 0) & 0xF8F8F8, 0xF80000u) << bits;
    EXPECT_EQ(screen.At(1, 0) & 0xF8F8F8, 0x0000F8u) << bits;
  }
}

TEST(Gdi, DataShorterThanItsLayoutIsNotRead) {
  FilePicture picture({4, 4, 24}, {});
  Surface screen(0x123456);
  gdi::StretchDIBits(&screen.dc, 0, 0, 4, 4, 0, 0, 4, 4, picture.bytes.data() + 54, 10,
                     picture.layout, gdi::RasterOp::kSrcCopy);
  EXPECT_EQ(screen.At(0, 0), 0x123456u);
}

TEST(Gdi, BitBltCopiesBetweenADibSectionAndASurface) {
  gdi::DibSection section(3, 2);
  gdi::DeviceContext memory = gdi::DeviceContext::CreateCompatible(gdi::DeviceContext());
  memory.SelectObject(&section);
  memory.WritePixel(0, 0, 0xAABBCC, gdi::RasterOp::kSrcCopy);
  memory.WritePixel(2, 1, 0x010203, gdi::RasterOp::kSrcCopy);
  // A DIB section is bottom-up with blue, green, red bytes: row 0 is the last in memory.
  EXPECT_EQ(section.Bits()[section.Layout().row_stride], 0xCC);
  Surface screen(0xFFFFFF);
  EXPECT_TRUE(gdi::BitBlt(&screen.dc, 5, 4, 3, 2, memory, 0, 0, gdi::RasterOp::kSrcCopy));
  EXPECT_EQ(screen.At(5, 4), 0xAABBCCu);
  EXPECT_EQ(screen.At(7, 5), 0x010203u);
  EXPECT_EQ(screen.At(6, 4), 0x000000u);
  gdi::DeviceContext window;
  EXPECT_FALSE(gdi::BitBlt(&window, 0, 0, 3, 2, memory, 0, 0, gdi::RasterOp::kSrcCopy))
      << "the window's own context has nothing to draw into";
}

// Two threads that own rows of a surface each draw the same pictures, cut to their rows: together
// they must leave exactly what one whole draw leaves, at every split and for either kind of blit,
// pictures hanging over any edge included.
TEST(Gdi, BlitsCutToRowsAddUpToTheWholeDraw) {
  std::vector<uint32_t> colours(5 * 4);
  for (size_t i = 0; i < colours.size(); ++i) colours[i] = 0x102030u * uint32_t(i + 1);
  FilePicture picture({5, 4, 24}, colours);
  gdi::DibSection section(5, 4);
  gdi::DeviceContext memory = gdi::DeviceContext::CreateCompatible(gdi::DeviceContext());
  memory.SelectObject(&section);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x)
      memory.WritePixel(x, y, colours[size_t(y) * 5 + x] ^ 0x0F0F0F, gdi::RasterOp::kSrcCopy);
  auto draw = [&](gdi::DeviceContext* dc) {
    for (int at : {-2, 0, 3, 5}) {
      gdi::StretchDIBits(dc, at - 1, at, 5, 4, 0, 0, 5, 4, picture.bytes.data() + 54,
                         picture.bytes.size() - 54, picture.layout, gdi::RasterOp::kSrcCopy);
      gdi::BitBlt(dc, at + 2, at - 3, 5, 4, memory, 0, 0, gdi::RasterOp::kSrcPaint);
    }
  };
  Surface whole(0x777777);
  draw(&whole.dc);
  for (int split = 0; split <= 6; ++split) {
    Surface banded(0x777777);
    gdi::DeviceContext upper = banded.dc.RowsOnly(0, split);
    gdi::DeviceContext lower = banded.dc.RowsOnly(split, 6);
    draw(&upper);
    EXPECT_EQ(upper.FirstRow(), 0);
    EXPECT_EQ(upper.EndRow(), split);
    for (int y = split; y < 6; ++y)
      for (int x = 0; x < 8; ++x)
        ASSERT_EQ(banded.At(x, y), 0x777777u) << "below the upper rows " << split;
    draw(&lower);
    EXPECT_EQ(banded.pixels, whole.pixels) << "split at " << split;
  }
  EXPECT_EQ(whole.dc.RowsOnly(4, 2).EndRow(), 4) << "an empty range stays empty";
  EXPECT_EQ(whole.dc.RowsOnly(-3, 99).EndRow(), 6);
  EXPECT_EQ(whole.dc.RowsOnly(-3, 99).FirstRow(), 0);
}

// Rows of a 32-bit picture in memory words are combined straight from the picture, which may
// carry top bytes: they never reach the surface, whichever the operation; the same rows read
// from a file that is not word-aligned give the same result.
TEST(Gdi, ThirtyTwoBitRowsFromWordsDropTheirTopBytes) {
  img::BitmapLayout layout;
  layout.width = 3;
  layout.height = 2;
  layout.top_down = true;
  layout.bit_count = 32;
  layout.row_stride = 12;
  const uint32_t words[6] = {0xFF102030, 0x80405060, 0x01708090,
                             0xFFA0B0C0, 0x00D0E0F0, 0x7F010203};
  std::vector<uint8_t> unaligned(1 + sizeof words);
  std::memcpy(unaligned.data() + 1, words, sizeof words);
  for (gdi::RasterOp op :
       {gdi::RasterOp::kSrcCopy, gdi::RasterOp::kSrcAnd, gdi::RasterOp::kSrcPaint}) {
    Surface from_words(0x00F0F0F0), from_bytes(0x00F0F0F0);
    gdi::StretchDIBits(&from_words.dc, 1, 2, 3, 2, 0, 0, 3, 2,
                       reinterpret_cast<const uint8_t*>(words), sizeof words, layout, op);
    gdi::StretchDIBits(&from_bytes.dc, 1, 2, 3, 2, 0, 0, 3, 2, unaligned.data() + 1, sizeof words,
                       layout, op);
    EXPECT_EQ(from_words.pixels, from_bytes.pixels);
    for (uint32_t p : from_words.pixels) EXPECT_EQ(p >> 24, 0u);
    const uint32_t expected = op == gdi::RasterOp::kSrcCopy  ? 0x708090u
                              : op == gdi::RasterOp::kSrcAnd ? (0xF0F0F0u & 0x708090u)
                                                             : (0xF0F0F0u | 0x708090u);
    EXPECT_EQ(from_words.At(3, 2), expected);
  }
}

}  // namespace
