// The picture's place and scale in windows and screens of every shape, the pointer decisions taken
// from it, and the choice of presenter.
#include "platform/picture_placement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "platform/picture_scaler.h"
#include "platform/sdl/presenter_choice.h"

namespace {

using platform::PixelRect;
using platform::Point;

// The picture fills as much of any window as 4:3 allows, centred; where it is not shrunk, client
// and window pixels map both ways; and wherever the pointer is, in a window or full screen,
// exactly one pointer shows and the game's stays on the picture.
TEST(PicturePlacement, FillsAsMuchAs4To3AllowsCentredAndExactlyOnePointerShows) {
  EXPECT_EQ(platform::FitPicture(640, 480, 1024, 768), (PixelRect{0, 0, 1024, 768}));
  EXPECT_EQ(platform::FitPicture(640, 480, 1920, 1080), (PixelRect{240, 0, 1440, 1080}));
  EXPECT_EQ(platform::FitPicture(640, 480, 1500, 700), (PixelRect{283, 0, 933, 700}));
  EXPECT_EQ(platform::FitPicture(640, 480, 1280, 1024), (PixelRect{0, 32, 1280, 960}));
  std::mt19937 random(27);
  for (int i = 0; i < 20000; ++i) {
    const int w = 1 + int(random() % 8000), h = 1 + int(random() % 8000);
    const PixelRect r = platform::FitPicture(640, 480, w, h);
    ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.w <= w && r.y + r.h <= h) << w << "x" << h;
    ASSERT_TRUE(r.w == w || r.h == h) << w << "x" << h;
    ASSERT_LE(std::abs(w - r.x - r.w - r.x), 1);
    ASSERT_LE(std::abs(h - r.y - r.h - r.y), 1);
    if (r.w > 1 && r.h > 1) {
      ASSERT_LE(std::abs(3 * r.w - 4 * r.h), 4) << w << "x" << h;
    }
    if (w >= 640 && h >= 480) {
      const Point c{int(random() % 640), int(random() % 480)};
      const Point at = platform::ClientToWindow(c, r, 640, 480);
      ASSERT_TRUE(platform::OverPicture(at, r));
      const Point back = platform::WindowToClient(at, r, 640, 480);
      ASSERT_TRUE(back.x == c.x && back.y == c.y) << w << "x" << h << " " << c.x << "," << c.y;
    }
    // Anywhere on and well beyond the window: the bars, and (in a window) the desktop.
    const Point p{int(random() % uint32_t(3 * w)) - w, int(random() % uint32_t(3 * h)) - h};
    const bool over = platform::OverPicture(p, r), full_screen = i % 2 == 1;
    const platform::PointerShown shown = platform::ShownPointer(full_screen, over);
    ASSERT_NE(shown.game, shown.desktop) << "exactly one pointer";
    ASSERT_EQ(shown.game, over || full_screen);
    const Point c = platform::WindowToClient(p, r, 640, 480);
    ASSERT_TRUE(c.x >= 0 && c.x < 640 && c.y >= 0 && c.y < 480);
    if (over) {
      ASSERT_TRUE(platform::OverPicture(platform::ClientToWindow(c, r, 640, 480), r));
    }
  }
}

// A random picture, or one of `fill` with a one-pixel black column at `line`.
std::vector<uint32_t> Picture(int w, int h, std::mt19937* random, int line = -1) {
  std::vector<uint32_t> p(size_t(w) * h, 0xFFFFFF);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p[size_t(y) * w + x] = line >= 0 ? (x == line ? 0 : 0xFFFFFF) : ((*random)() & 0xFFFFFF);
  return p;
}

std::vector<uint32_t> Scaled(platform::PictureScaler& s, const std::vector<uint32_t>& p, int w,
                             int h, int dw, int dh) {
  s.Prepare(w, h, dw, dh);
  std::vector<uint32_t> out(size_t(dw) * dh, 0x123456);
  s.ScaleRows(p.data(), w, out.data(), dw, 0, dh);
  return out;
}

TEST(PictureScaler, AOnePixelOutlineWeighsTheSameWhereverItFallsAtAnyFactor) {
  // The ink of a black column on white, summed over a shown row, is the factor times one pixel's
  // worth wherever the column lies: outlines come out evenly thick at 1.6x, 2.25x or any other.
  std::mt19937 random(3);
  platform::PictureScaler s;
  for (int i = 0; i < 300; ++i) {
    const int dw = 64 + int(random() % 200), line = int(random() % 64);
    const std::vector<uint32_t> out = Scaled(s, Picture(64, 4, &random, line), 64, 4, dw, 4);
    double ink = 0;
    int blended = 0;
    for (int x = 0; x < dw; ++x) {
      const uint32_t v = out[size_t(x)];
      ink += 255 - double(v & 0xFF);
      blended += (v & 0xFF) != 0 && (v & 0xFF) != 0xFF;
      ASSERT_TRUE((v >> 16) == (v & 0xFF) && ((v >> 8) & 0xFF) == (v & 0xFF)) << "grey stays grey";
    }
    ASSERT_NEAR(ink / 255, double(dw) / 64, 2.0 / 256 + 0.01) << dw << " column " << line;
    ASSERT_LE(blended, 2) << "a blend only at each of its two edges";
  }
}

// Whole factors repeat pixels exactly; at any size, rescaling only the rows that changed gives the
// whole rescale.
TEST(PictureScaler, WholeFactorsRepeatPixelsAndRescalingTheChangedRowsGivesTheWhole) {
  std::mt19937 random(5);
  platform::PictureScaler s;
  for (int i = 0; i < 44; ++i) {
    const int w = 40, h = 30, k = i < 4 ? i + 1 : 0;
    const int dw = k ? w * k : 20 + int(random() % 150), dh = k ? h * k : 15 + int(random() % 120);
    std::vector<uint32_t> p = Picture(w, h, &random);
    std::vector<uint32_t> shown = Scaled(s, p, w, h, dw, dh);
    for (int y = 0; y < dh && k; ++y)
      for (int x = 0; x < dw; ++x)
        ASSERT_EQ(shown[size_t(y) * dw + x], p[size_t(y / k) * w + x / k]) << k;
    const int first = int(random() % h), end = first + 1 + int(random() % (h - first));
    for (int y = first; y < end; ++y)
      for (int x = 0; x < w; ++x) p[size_t(y) * w + x] = random() & 0xFFFFFF;
    const auto [from, to] = s.DestRowsOf(first, end);
    s.ScaleRows(p.data(), w, shown.data(), dw, from, to);
    ASSERT_EQ(shown, Scaled(s, p, w, h, dw, dh)) << dw << "x" << dh << " rows " << first;
  }
}

TEST(PresenterChoice, TheWindowSurfaceUnlessARealGpuMayBeThereAndEitherWhenForced) {
  using platform::PresenterKind;
  EXPECT_EQ(platform::ChoosePresenter(nullptr, false, false).kind, PresenterKind::kSurface);
  EXPECT_EQ(platform::ChoosePresenter("", true, false).kind, PresenterKind::kGpu);
  EXPECT_EQ(platform::ChoosePresenter(nullptr, true, true).kind, PresenterKind::kSurface);
  EXPECT_EQ(platform::ChoosePresenter("gpu", false, true).kind, PresenterKind::kGpu);
  EXPECT_TRUE(platform::ChoosePresenter("gpu", false, true).forced);
  EXPECT_EQ(platform::ChoosePresenter("surface", true, false).kind, PresenterKind::kSurface);
  const platform::PresenterChoice odd = platform::ChoosePresenter("vulkan", true, false);
  EXPECT_FALSE(odd.forced);
  EXPECT_NE(odd.warning.find("ZENTROVA_PRESENTER=vulkan"), std::string::npos);
  EXPECT_TRUE(platform::SoftwareGlRenderer("llvmpipe (LLVM 15.0.6, 256 bits)"));
  EXPECT_FALSE(platform::SoftwareGlRenderer("Mesa Intel(R) UHD Graphics 620 (KBL GT2)"));
}

}  // namespace
