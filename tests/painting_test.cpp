// The pens: texels of the face under the cursor, or dots on the canvas.
#include <gtest/gtest.h>

#include "play/play_scene.h"
#include "test_app.h"

namespace r = platform::render;

namespace {

class Painting : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app.created());
    set().RemoveAll();
    app.world().table.PlaceAt({1000, 0, 1000});
    platform::gdi::DeviceContext dc;
    block = set().AddBlock(dc, device(), app.app().Sounds(), {0, 1, 0}, {2, 2, 2});
    device()->SetTransform(r::TransformType::kWorld,
                           ToDeviceMatrix(PlayScene::CameraMatrix(0.5235986709594728, 225, 8)));
    set().RefreshPickBuffer(device(), nullptr);
    std::fill(canvas(), canvas() + 640 * 480 * 3, uint8_t(255));
  }
  BlockSet& set() { return app.world().blockSet; }
  r::RenderDevice* device() { return app.app().Graphics().Device(); }
  uint8_t* canvas() { return app.world().canvas.DibBits(); }
  // Where a physics-space point shows on screen.
  std::pair<float, float> Screen(const Vec3& p) {
    Vec4 v{p.x, p.z, p.y, 1};
    TransformInPlace(v, set().ScreenMatrix(device()));
    return {v.x / v.w, v.y / v.w};
  }
  int PaintedTexels(int face) {
    int n = 0;
    const std::vector<uint8_t>& rgb = block->faces[face].texture->Backing()->Buffer();
    for (size_t i = 0; i < rgb.size(); i += 3) n += rgb[i + 1] == 0;
    return n;
  }
  bool Texel(int face, int x, int y) {
    return block->faces[face].texture->Texture()->Texels()[y * 8 + x] == 0xFFFF0000u;
  }

  TestApp app;
  Block* block = nullptr;
  const uint8_t red[3] = {255, 0, 0};
};

TEST_F(Painting, NearTheCentreOfAFaceTheClosestZoomPaintsTexelFourFour) {
  // Just past the middle of the top face (u = v = 0.55), clear of rounding at the texel border.
  auto [x, y] = Screen({0.1f, 0.1f, 2});
  EXPECT_TRUE(set().PaintAt(device(), x, y, red, 16));
  EXPECT_EQ(PaintedTexels(1), 1);
  EXPECT_TRUE(Texel(1, 4, 4));
  EXPECT_EQ(block->faces[1].texture->Backing()->Buffer()[3 * (4 + 4 * 8)], 255);
}

TEST_F(Painting, FartherViewsPaintLargerPatchesThatNeverSpillOntoAnotherFace) {
  auto [x, y] = Screen({0.1f, 0.1f, 2});
  set().PaintAt(device(), x, y, red, 8);  // nine samples over a pixel
  const int nine = PaintedTexels(1);
  set().PaintAt(device(), x, y, red, 4);  // twenty-five samples over two pixels
  const int twenty_five = PaintedTexels(1);
  EXPECT_GE(nine, 1);
  EXPECT_GT(twenty_five, nine);
  for (int f : {0, 2, 3, 4, 5}) EXPECT_EQ(PaintedTexels(f), 0) << f;
  // At a face's edge the samples that fall on the neighbouring face paint nothing there.
  auto [ex, ey] = Screen({1, 0, 2});
  set().PaintAt(device(), ex, ey, red, 4);
  for (int f : {0, 2, 3, 4, 5}) EXPECT_LE(PaintedTexels(f), 0) << f;
}

TEST_F(Painting, WhereNoFaceIsTheCanvasGetsAThreeByThreeDotClippedAtTheEdges) {
  EXPECT_FALSE(set().PaintAt(device(), 100.5f, 50.2f, red, 8));
  auto red_at = [&](int x, int y) {
    const uint8_t* p = canvas() + 3 * (x + y * 640);
    return p[0] == 0 && p[1] == 0 && p[2] == 255;
  };
  for (int y = 49; y <= 51; ++y)
    for (int x = 99; x <= 101; ++x) EXPECT_TRUE(red_at(x, y)) << x << "," << y;
  EXPECT_FALSE(red_at(102, 50));
  EXPECT_FALSE(set().PaintAt(device(), 0, 0, red, 8));
  EXPECT_TRUE(red_at(0, 0));
  EXPECT_TRUE(red_at(1, 1));
  EXPECT_FALSE(set().PaintAt(device(), 639.9f, 479.9f, red, 8));
  EXPECT_TRUE(red_at(639, 479));
  EXPECT_FALSE(set().PaintAt(device(), -30, 700, red, 8)) << "off screen: nothing to paint";
}

}  // namespace

namespace {

// The pick scan gives a pixel up to half a pixel past a triangle's edge to that triangle; a pen
// press there still paints, on the face's other triangle. Every pixel inside a face at the
// closest view, the diagonal's included, paints one texel of that face.
TEST_F(Painting, EveryPressInsideAFacePaintsOneTexelEvenNextToTheDiagonal) {
  int pressed = 0, missed = 0, diagonal = 0;
  for (float yaw : {200.0f, 225.0f, 250.0f, 300.0f})
    for (double pitch : {0.3, 0.61, 1.2}) {
      device()->SetTransform(r::TransformType::kWorld,
                             ToDeviceMatrix(PlayScene::CameraMatrix(pitch, yaw, 16)));
      set().RefreshPickBuffer(device(), nullptr);
      for (int y = 1; y < 479; ++y)
        for (int x = 1; x < 639; ++x) {
          const PickCell cell = set().FrontCell(x, y);
          Face* face = set().CellFace(cell);
          if (!face) continue;
          // Inside the face: the four neighbours show the same face.
          const auto same = [&](int nx, int ny) {
            return PickCell::SameFace(set().FrontCell(nx, ny).id, cell.id);
          };
          if (!same(x - 1, y) || !same(x + 1, y) || !same(x, y - 1) || !same(x, y + 1)) continue;
          diagonal += set().FrontCell(x + 1, y).Triangle() != cell.Triangle();
          ++pressed;
          missed += !set().PaintFaceTexel(device(), face, float(x), float(y), red, cell.Triangle());
        }
    }
  EXPECT_GT(pressed, 3000);
  EXPECT_GT(diagonal, 100);
  EXPECT_EQ(missed, 0);
}

}  // namespace
