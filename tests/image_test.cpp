// Decoding pictures: every layout the program reads, and every lie a file can tell.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>

#include "bmp_builder.h"
#include "gfx/dib_image.h"
#include "gfx/image_texture.h"
#include "platform/headless/headless_platform.h"
#include "platform/image/picture.h"
#include "platform/image/png_write.h"

namespace img = platform::image;

namespace {

const std::vector<uint32_t> kFour = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

bool Decode(const std::vector<uint8_t>& bytes, img::Picture* out, std::string* why) {
  return img::DecodeBmp(bytes.data(), bytes.size(), out, why);
}

TEST(Bmp, ReadsEveryAcceptedLayoutTopRowFirst) {
  struct Case {
    BmpShape shape;
    uint32_t tolerance;  // 16-bit pictures keep 5 or 6 bits a channel
  };
  std::vector<Case> cases;
  cases.push_back({BmpShape{2, 2, 24}, 0});
  cases.push_back({BmpShape{2, -2, 24}, 0});
  cases.push_back({BmpShape{2, 2, 32}, 0});
  cases.push_back({BmpShape{2, -2, 32}, 0});
  cases.push_back({BmpShape{2, 2, 16}, 8});
  BmpShape rgb565{2, 2, 16, 3, {0xF800, 0x07E0, 0x001F}};
  cases.push_back({rgb565, 8});
  BmpShape fields32{2, 2, 32, 3, {0x00FF0000, 0x0000FF00, 0x000000FF}};
  cases.push_back({fields32, 0});
  for (const Case& c : cases) {
    img::Picture picture;
    std::string why;
    ASSERT_TRUE(Decode(MakeBmp(c.shape, kFour), &picture, &why))
        << why << " bits " << c.shape.bits << " height " << c.shape.height;
    ASSERT_EQ(picture.width, 2);
    ASSERT_EQ(picture.height, 2);
    for (int i = 0; i < 4; ++i)
      for (int shift = 0; shift < 24; shift += 8) {
        int got = (picture.argb[i] >> shift) & 0xFF, want = (kFour[i] >> shift) & 0xFF;
        EXPECT_LE(std::abs(got - want), int(c.tolerance))
            << "pixel " << i << " bits " << c.shape.bits << " height " << c.shape.height;
      }
    EXPECT_EQ(picture.argb[0] >> 24, 0xFFu) << "BMP pictures are opaque";
  }
}

TEST(Bmp, RowsArePaddedToFourBytes) {
  img::Picture picture;
  std::string why;
  const std::vector<uint32_t> three = {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112};
  ASSERT_TRUE(Decode(MakeBmp(BmpShape{3, 2, 24}, three), &picture, &why)) << why;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(picture.argb[i] & 0xFFFFFF, three[i]);
}

struct Lie {
  const char* what;
  std::function<void(std::vector<uint8_t>*)> spoil;
  const char* reason;
};

TEST(Bmp, RefusesEveryBrokenHeaderWithAReason) {
  auto put32 = [](std::vector<uint8_t>* b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (8 * i));
  };
  const std::vector<Lie> lies = {
      {"not B", [](auto* b) { (*b)[0] = 'X'; }, "signature"},
      {"8 bits", [](auto* b) { (*b)[28] = 8; }, "bits per pixel"},
      {"1 bit", [](auto* b) { (*b)[28] = 1; }, "bits per pixel"},
      {"run-length", [&](auto* b) { put32(b, 30, 1); }, "compression"},
      {"truncated header", [](auto* b) { b->resize(30); }, "truncated"},
      {"truncated pixels", [](auto* b) { b->resize(b->size() - 1); }, "shorter"},
      {"offset past the end", [&](auto* b) { put32(b, 10, 100000); }, "offset"},
      {"offset inside the header", [&](auto* b) { put32(b, 10, 20); }, "offset"},
      {"wider than the data", [&](auto* b) { put32(b, 18, 300); }, "shorter"},
      {"absurd width", [&](auto* b) { put32(b, 18, 0x7FFFFFFF); }, "too large"},
      {"absurd height", [&](auto* b) { put32(b, 22, 0x80000001); }, "too large"},
      {"zero width", [&](auto* b) { put32(b, 18, 0); }, "dimensions"},
      {"negative width", [&](auto* b) { put32(b, 18, uint32_t(-4)); }, "dimensions"},
      {"zero height", [&](auto* b) { put32(b, 22, 0); }, "dimensions"},
      {"header size beyond the file", [&](auto* b) { put32(b, 14, 5000); }, "header size"},
      {"empty file", [](auto* b) { b->clear(); }, "signature"},
  };
  const std::vector<uint8_t> good = MakeBmp(BmpShape{4, 4, 24}, {});
  for (const Lie& lie : lies) {
    std::vector<uint8_t> bytes = good;
    lie.spoil(&bytes);
    img::Picture picture;
    std::string why;
    EXPECT_FALSE(Decode(bytes, &picture, &why)) << lie.what;
    EXPECT_NE(why.find(lie.reason), std::string::npos) << lie.what << ": " << why;
  }
}

TEST(Bmp, BitFieldsWithoutRoomForTheirMasksAreRefused) {
  BmpShape shape{2, 2, 16, 3, {0xF800, 0x07E0, 0x001F}};
  std::vector<uint8_t> bytes = MakeBmp(shape, kFour);
  bytes.resize(14 + 40 + 4);
  img::Picture picture;
  std::string why;
  EXPECT_FALSE(Decode(bytes, &picture, &why));
}

class Files : public testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zentrova-images-" + std::to_string(::getpid()) + "-" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    ASSERT_TRUE(graphics.Create(&platform, 640, 480, false));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
  platform::HeadlessPlatform platform;
  GraphicsDevice graphics;
};

TEST_F(Files, DibImageKeepsAFileWholeInItsOwnLayoutWithoutADeviceContext) {
  for (int bits : {16, 24, 32}) {
    DibImage image;
    ASSERT_TRUE(image.LoadBmpFile(Write("p.bmp", MakeBmp(BmpShape{3, -5, bits}, {}))));
    EXPECT_TRUE(image.FromFile());
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.Height(), 5);
    EXPECT_FALSE(image.HasMemoryDC());
    EXPECT_EQ(image.BitmapInfo().bit_count, bits);
    EXPECT_EQ(image.PixelPointer(), image.Buffer().data() + image.BitmapInfo().pixel_offset);
  }
}

TEST_F(Files, DibImageRefusesEightBitsAndAWrongSignatureAndFreesTheBuffer) {
  BmpShape eight{4, 4, 24};
  std::vector<uint8_t> bytes = MakeBmp(eight, {});
  bytes[28] = 8;
  DibImage image;
  EXPECT_FALSE(image.LoadBmpFile(Write("eight.bmp", bytes)));
  EXPECT_TRUE(image.Buffer().empty());
  EXPECT_EQ(image.PixelPointer(), nullptr);
  EXPECT_NE(platform::LastError().find("eight.bmp"), std::string::npos);
  bytes = MakeBmp(eight, {});
  bytes[0] = 'P';
  EXPECT_FALSE(image.LoadBmpFile(Write("png-named.bmp", bytes)));
  EXPECT_TRUE(image.Buffer().empty());
  EXPECT_FALSE(image.LoadBmpFile((dir_ / "missing.bmp").string()));
  EXPECT_NE(platform::LastError().find("missing.bmp: No such file or directory"),
            std::string::npos);
}

TEST_F(Files, ABlankWhiteTextureIsOpaqueWhiteEverywhere) {
  ImageTexture texture;
  platform::gdi::DeviceContext dc;
  ASSERT_TRUE(texture.CreateBlank(dc, graphics.Device(), 8, 8, 255, 255, 255));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(texture.Texture()->Texels()[i], 0xFFFFFFFFu);
  EXPECT_EQ(texture.Backing()->Buffer().size(), 8u * 8 * 3);
  EXPECT_TRUE(texture.Backing()->HasMemoryDC());
}

TEST_F(Files, UploadCopiesOnlyThePartOfTheRectangleInsideTheTexture) {
  ImageTexture texture;
  platform::gdi::DeviceContext dc;
  ASSERT_TRUE(texture.CreateBlank(dc, graphics.Device(), 8, 8, 0, 0, 0));
  std::vector<uint8_t>& rgb = texture.Backing()->Buffer();
  for (size_t i = 0; i < rgb.size(); i += 3) rgb[i] = 200;  // red everywhere in the copy
  auto red = [&](int x, int y) { return texture.Texture()->Texels()[y * 8 + x] == 0xFFC80000u; };
  auto count = [&] {
    int n = 0;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) n += red(x, y);
    return n;
  };
  ASSERT_TRUE(texture.Upload(-2, -3, 4, 5));  // starts left of and above the texture
  EXPECT_EQ(count(), 2 * 2);
  EXPECT_TRUE(red(1, 1));
  EXPECT_FALSE(red(2, 0));
  ASSERT_TRUE(texture.Upload(6, 5, 10, 10));  // ends beyond the texture
  EXPECT_EQ(count(), 4 + 2 * 3);
  EXPECT_TRUE(red(7, 7));
  ASSERT_TRUE(texture.Upload(3, 3, 1, 1));
  EXPECT_TRUE(red(3, 3));
  EXPECT_EQ(count(), 11);
  ASSERT_TRUE(texture.Upload(20, 20, 5, 5));  // wholly outside: nothing, and no stray write
  EXPECT_EQ(count(), 11);
}

TEST_F(Files, PngKeepsItsAlphaAndSixteenBitInputIsConverted) {
  const uint32_t pixels[4] = {0x80FF0000, 0xFF00FF00, 0x000000FF, 0xFFFFFFFF};
  const std::string path = (dir_ / "p.png").string();
  ASSERT_TRUE(img::WritePng(path, pixels, 2, 2, 2, true, nullptr));
  img::Picture picture;
  std::string why;
  ASSERT_TRUE(img::LoadPictureFile(path, &picture, &why)) << why;
  EXPECT_EQ(picture.argb[0], 0x80FF0000u);
  EXPECT_EQ(picture.argb[2] >> 24, 0u);

  // The same picture written with 16 bits a channel must come back as 8-bit texels of the
  // right size (a buffer sized for 8 bits must never receive 16).
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = 2;
  image.height = 2;
  image.format = PNG_FORMAT_LINEAR_RGB_ALPHA;
  const uint16_t wide[16] = {65535, 0, 0, 65535, 0,     65535, 0,     65535,
                             0,     0, 0, 65535, 65535, 65535, 65535, 65535};
  const std::string path16 = (dir_ / "p16.png").string();
  ASSERT_TRUE(png_image_write_to_file(&image, path16.c_str(), 0, wide, 0, nullptr));
  ASSERT_TRUE(img::LoadPictureFile(path16, &picture, &why)) << why;
  ASSERT_EQ(picture.argb.size(), 4u);
  EXPECT_EQ(picture.argb[0], 0xFFFF0000u);
  EXPECT_EQ(picture.argb[3], 0xFFFFFFFFu);
}

TEST_F(Files, TexturesFromFilesKeepThePicturesOwnSizeAndNameTheFileOnFailure) {
  ImageTexture texture;
  ASSERT_TRUE(texture.LoadFromFile(graphics.Device(), Write("t.bmp", MakeBmp({5, 3, 24}, {}))));
  EXPECT_EQ(texture.Texture()->Width(), 5);
  EXPECT_EQ(texture.Texture()->Height(), 3);
  EXPECT_EQ(texture.Texture()->Texels()[0], 0xFF000000u);
  std::vector<uint8_t> broken = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0};
  EXPECT_FALSE(texture.LoadFromFile(graphics.Device(), Write("broken.png", broken)));
  EXPECT_NE(platform::LastError().find("broken.png: bad PNG"), std::string::npos)
      << platform::LastError();
}

}  // namespace

namespace {

// The canvas as the back buffer's words: every byte order right, odd widths included, and a
// write through the bits seen at the next read while an unchanged picture keeps its words.
TEST(DibImageDevicePixels, FollowTheBitsAfterEveryWrite) {
  for (int width : {640, 7}) {
    DibImage canvas;
    ASSERT_TRUE(canvas.CreateDib(platform::gdi::DeviceContext(), width, 5, 24));
    uint8_t* bits = canvas.DibBits();
    for (int i = 0; i < width * 5 * 3; ++i) bits[i] = uint8_t(i * 37 + 11);
    auto expected = [&](int x, int y) {
      const uint8_t* p = std::as_const(canvas).DibBits() + 3 * (x + y * width);
      return uint32_t(p[2] << 16 | p[1] << 8 | p[0]);
    };
    const uint32_t* words = canvas.DevicePixels();
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < width; ++x)
        ASSERT_EQ(words[x + y * width], expected(x, y)) << width << " " << x << "," << y;
    canvas.DibBits()[3 * (width + 2)] = 0x5A;  // blue of (2, 1)
    words = canvas.DevicePixels();
    EXPECT_EQ(words[width + 2], expected(2, 1));
    EXPECT_EQ(words[width + 2] & 0xFF, 0x5Au);
  }
}

// Rows of one colour are reported as such, so that they are filled instead of copied; a single
// pixel of another colour anywhere in a row, its first and last included, makes it mixed.
TEST(DibImageDevicePixels, RowsOfOneColourAreKnownAndFollowEveryWrite) {
  const int width = 9, height = 4;
  DibImage canvas;
  ASSERT_TRUE(canvas.CreateDib(platform::gdi::DeviceContext(), width, height, 24));
  std::fill_n(canvas.DibBits(), width * height * 3, uint8_t(0xFF));
  canvas.DevicePixels();
  for (int y = 0; y < height; ++y) EXPECT_EQ(canvas.DeviceRowColour(y), 0x00FFFFFFu) << y;
  EXPECT_EQ(canvas.DeviceRowColour(-1), DibImage::kMixedRow);
  EXPECT_EQ(canvas.DeviceRowColour(height), DibImage::kMixedRow);
  for (int x : {0, 4, width - 1}) {
    uint8_t* bits = canvas.DibBits();
    std::fill_n(bits, width * height * 3, uint8_t(0xFF));
    bits[3 * (width * 2 + x) + 1] = 0x10;  // green of (x, 2)
    canvas.DevicePixels();
    for (int y = 0; y < height; ++y)
      EXPECT_EQ(canvas.DeviceRowColour(y), y == 2 ? DibImage::kMixedRow : 0x00FFFFFFu)
          << x << "," << y;
  }
  std::fill_n(canvas.DibBits(), width * height * 3, uint8_t(0x20));
  canvas.DevicePixels();
  EXPECT_EQ(canvas.DeviceRowColour(2), 0x00202020u);
}

}  // namespace
