// The PNG reader: pictures of every kind read as libpng's own reader reads them, and chunks that
// claim more bytes than the file holds refused before libpng sees them.
#include <gtest/gtest.h>
#include <png.h>

#include <random>

#include "platform/image/picture.h"
#include "png_builder.h"

namespace img = platform::image;

namespace {

// What libpng's simplified reader makes of the bytes, as 8-bit BGRA; false where it refuses.
bool ReadBySimplifiedApi(const std::vector<uint8_t>& bytes, img::Picture* out) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  image.format = PNG_FORMAT_BGRA;
  out->width = int(image.width);
  out->height = int(image.height);
  out->argb.assign(size_t(image.width) * image.height, 0);
  return png_image_finish_read(&image, nullptr, out->argb.data(), 0, nullptr) != 0;
}

// libpng's simplified reader is the reference on the plain file; ours must give the same texels
// from the plain file and from the interlaced one. And with a chunk after the header made to
// declare more than the file holds, wherever it stands and whatever it claims, our own walk
// refuses the file with the chunk's place and both sizes.
TEST(PngReader, ReadsEveryKindAsLibpngsOwnReaderAndRefusesAChunkClaimingMoreThanTheFileHolds) {
  std::mt19937 random(20260428);
  for (int i = 0; i < 600; ++i) {
    const png_builder::RandomPicture picture(random);
    img::Picture reference, ours;
    std::string why;
    ASSERT_TRUE(ReadBySimplifiedApi(picture.Encode(false), &reference)) << i;
    for (bool interlaced : {false, true}) {
      const std::vector<uint8_t> bytes = picture.Encode(interlaced);
      ASSERT_TRUE(img::DecodePng(bytes.data(), bytes.size(), &ours, &why)) << i << ": " << why;
      ASSERT_EQ(ours.width, reference.width) << i;
      ASSERT_EQ(ours.height, reference.height) << i;
      ASSERT_EQ(ours.argb, reference.argb) << i << " (colour type " << picture.type << ", depth "
                                           << picture.depth << ", interlaced " << interlaced << ")";
    }
    std::vector<uint8_t> bytes = picture.Encode(i % 2 == 1);
    size_t at = 8 + 25;
    for (size_t k = random() % 3; k > 0 && at + 12 < bytes.size(); --k) {
      if (std::memcmp(&bytes[at + 4], "IEND", 4) == 0) break;
      at += 12 + (uint32_t(bytes[at]) << 24 | uint32_t(bytes[at + 1]) << 16 |
                  uint32_t(bytes[at + 2]) << 8 | bytes[at + 3]);
    }
    const uint32_t room = uint32_t(bytes.size() - at - 12);
    const uint32_t claim = room + 1 + uint32_t(random() % 0x7E000000u);
    for (int b = 0; b < 4; ++b) bytes[at + size_t(b)] = uint8_t(claim >> (24 - 8 * b));
    ASSERT_FALSE(img::DecodePng(bytes.data(), bytes.size(), &ours, &why));
    EXPECT_EQ(why, "bad PNG: chunk at byte " + std::to_string(at) + " declares " +
                       std::to_string(claim) + " bytes of data, but only " + std::to_string(room) +
                       " follow it");
  }
}

}  // namespace
