// The generated pictures fit the places the program puts them.
#include <gtest/gtest.h>

#include <string>

#include "platform/image/picture.h"

namespace img = platform::image;

namespace {

img::Picture Load(const std::string& name) {
  img::Picture p;
  std::string why;
  EXPECT_TRUE(img::LoadPictureFile("data/" + name, &p, &why)) << name << ": " << why;
  return p;
}
uint32_t At(const img::Picture& p, int x, int y) {
  return p.argb[size_t(y) * p.width + x];
}
bool White(uint32_t argb) {
  return (argb & 0xFFFFFF) == 0xFFFFFF;
}
bool Black(uint32_t argb) {
  return (argb & 0xFFFFFF) == 0;
}

TEST(GeneratedData, PicturesHaveTheSizesThePlacesAssume) {
  EXPECT_EQ(Load("title.bmp").width, 512);
  EXPECT_EQ(Load("title.bmp").height, 512);
  for (const char* tool : {"hand", "rotate", "zoom", "door", "pen_red", "pen_green", "pen_blue",
                           "pen_cyan", "pen_magenta", "pen_yellow", "pen_white", "pen_gray"}) {
    for (const std::string suffix : {"", "_half"}) {
      img::Picture icon = Load(std::string(tool) + suffix + ".bmp");
      EXPECT_EQ(icon.width, 48) << tool;
      EXPECT_EQ(icon.height, 48) << tool;
    }
  }
  EXPECT_EQ(Load("door_close.bmp").width, 48);
}

TEST(GeneratedData, ButtonFacesFillTheirHitRectangles) {
  struct Button {
    const char* file;
    int left, top, right, bottom;  // relative to the picture
  };
  for (const Button& b :
       {Button{"start_on.bmp", 32, 16, 238, 80}, Button{"end_on.bmp", 72, 16, 224, 80}}) {
    img::Picture p = Load(b.file);
    // The outline runs along the rectangle's edges (away from the rounded corners) ...
    EXPECT_TRUE(Black(At(p, (b.left + b.right) / 2, b.top))) << b.file;
    EXPECT_TRUE(Black(At(p, (b.left + b.right) / 2, b.bottom))) << b.file;
    EXPECT_TRUE(Black(At(p, b.left, (b.top + b.bottom) / 2))) << b.file;
    EXPECT_TRUE(Black(At(p, b.right, (b.top + b.bottom) / 2))) << b.file;
    // ... and nothing is drawn outside it.
    EXPECT_TRUE(White(At(p, b.left - 1, (b.top + b.bottom) / 2))) << b.file;
    EXPECT_TRUE(White(At(p, b.right + 1, (b.top + b.bottom) / 2))) << b.file;
    EXPECT_TRUE(White(At(p, (b.left + b.right) / 2, b.top - 1))) << b.file;
    EXPECT_TRUE(White(At(p, (b.left + b.right) / 2, b.bottom + 1))) << b.file;
  }
}

TEST(GeneratedData, TheArrowsTipIsItsTopLeftPixelAndTheRestIsTransparent) {
  img::Picture arrow = Load("cursor_default.png");
  EXPECT_EQ(At(arrow, 0, 0), 0xFF000000u);
  EXPECT_EQ(At(arrow, arrow.width - 1, 0) >> 24, 0u);
  EXPECT_EQ(At(arrow, 1, 2), 0xFFFFFFFFu) << "white inside the outline";
}

// The mask is black exactly where the cursor picture has its shape, and the cursor is black
// wherever the mask is white.
void ExpectCursorPair(const std::string& cursor_file, const std::string& mask_file) {
  img::Picture cursor = Load(cursor_file), mask = Load(mask_file);
  ASSERT_EQ(cursor.width, mask.width) << cursor_file;
  ASSERT_EQ(cursor.height, mask.height) << cursor_file;
  for (size_t i = 0; i < cursor.argb.size(); ++i) {
    if (White(mask.argb[i])) {
      ASSERT_TRUE(Black(cursor.argb[i])) << cursor_file << " at " << i;
    }
    ASSERT_TRUE(White(mask.argb[i]) || Black(mask.argb[i])) << mask_file;
  }
}

TEST(GeneratedData, CursorsAndMasksAgreeAndTheHotspotsSitOnTheShapes) {
  ExpectCursorPair("cursor_hand.bmp", "cursor_hand_mask.bmp");
  ExpectCursorPair("cursor_rotate.bmp", "cursor_rotate_mask.bmp");
  ExpectCursorPair("cursor_zoom.bmp", "cursor_zoom_mask.bmp");
  for (const char* pen : {"red", "green", "blue", "cyan", "magenta", "yellow", "white", "gray"})
    ExpectCursorPair(std::string("cursor_pen_") + pen + ".bmp", "cursor_pen_mask.bmp");
  // Hotspots: the hand's fingertip just inside the corner beyond (-2, -2); the rotate cursor's
  // centre (10, 12); the lens centre (8, 8); the pen's point at the bottom-left (0, 63), next to
  // (0, 64), and the red pen's (1, 60) on the same nib.
  img::Picture hand = Load("cursor_hand_mask.bmp");
  EXPECT_TRUE(Black(At(hand, 0, 0)));
  EXPECT_TRUE(Black(At(Load("cursor_rotate_mask.bmp"), 10, 12)));
  EXPECT_TRUE(Black(At(Load("cursor_rotate.bmp"), 10, 12))) << "the centre is marked";
  EXPECT_TRUE(Black(At(Load("cursor_zoom_mask.bmp"), 8, 8)));
  img::Picture pen = Load("cursor_pen_mask.bmp");
  EXPECT_EQ(pen.height, 64);
  EXPECT_TRUE(Black(At(pen, 0, 63)));
  EXPECT_TRUE(Black(At(pen, 1, 60)));
  EXPECT_TRUE(White(At(pen, pen.width - 1, 63)));
}

}  // namespace
