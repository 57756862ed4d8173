// The block body and the table.
#include "blocks/block.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "collapse_scenes.h"
#include "test_app.h"
#include "world/table.h"

namespace {

class Bodies : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app.created()); }
  Block* NewBlock(const Vec3& origin, const Vec3& size = {2, 2, 2}) {
    blocks.push_back(std::make_unique<Block>());
    platform::gdi::DeviceContext dc;
    EXPECT_TRUE(
        blocks.back()->Create(dc, app.app().Graphics().Device(), app.app().Sounds(), origin, size));
    return blocks.back().get();
  }
  TestApp app;
  std::vector<std::unique_ptr<Block>> blocks;
};

TEST_F(Bodies, ACubeAtTheOriginHasItsCentreCornersLengthsAndReach) {
  Block* b = NewBlock({-1, -1, 0});
  EXPECT_EQ(b->centre, (Vec3{0, 0, 1}));
  EXPECT_EQ(b->corners[6], (Vec3{1, 1, 2}));
  for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(b->restLengths[i], 2.0f) << i;
  for (int i = 12; i < 16; ++i) EXPECT_NEAR(b->restLengths[i], 3.4641f, 1e-4f) << i;
  EXPECT_NEAR(b->reachRadius, 4.1569f, 1e-4f);
  EXPECT_EQ(b->referenceCentre, b->centre);
  EXPECT_EQ(b->savedCorners[3], b->corners[3]);
  EXPECT_EQ(b->onTable, 1);
}

TEST_F(Bodies, FaceNormalsFollowTheCornerOrderAndAreasAreDoubled) {
  Block* b = NewBlock({-1, -1, 0});
  const Vec3 expected[6] = {{0, 0, -1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}, {-1, 0, 0}, {-1, 0, 0}};
  for (int f = 0; f < 6; ++f) {
    EXPECT_EQ(b->faces[f].normal, expected[f]) << "face " << f;
    EXPECT_FLOAT_EQ(b->faces[f].area012, 4.0f);
    EXPECT_FLOAT_EQ(b->faces[f].area230, 4.0f);
    EXPECT_EQ(b->faces[f].owner, b);
    EXPECT_EQ(b->faces[f].texture, &b->faceTextures[f]);
    EXPECT_EQ(b->faces[f].link, nullptr);
  }
  EXPECT_EQ(b->faces[3].corner[2], &b->corners[7]);
  EXPECT_EQ(b->faceTextures[0].Texture()->Texels()[63], 0xFFFFFFFFu);
}

TEST_F(Bodies, PlaceAtMovesCornerZeroAndKeepsTheRotation) {
  Block* b = NewBlock({0, 0, 0});
  // Turn the block a quarter about z by hand.
  b->axes[0] = {0, 1, 0};
  b->axes[1] = {-1, 0, 0};
  b->velocities[2] = {1, 1, 1};
  const Vec3 before = b->centre;
  b->PlaceAt({10, 0, 0});
  EXPECT_EQ(b->corners[0], (Vec3{10, 0, 0}));
  EXPECT_EQ(b->corners[1], (Vec3{10, 2, 0}));
  EXPECT_EQ(b->corners[3], (Vec3{8, 0, 0}));
  EXPECT_EQ(b->corners[6], (Vec3{8, 2, 2}));
  EXPECT_EQ(b->centre, (Vec3{9, 1, 1}));
  EXPECT_EQ(b->previousCentre, before);
  EXPECT_EQ(b->velocities[2], (Vec3{0, 0, 0}));
  EXPECT_EQ(b->savedCorners[6], b->corners[6]);
  EXPECT_EQ(b->faces[0].normal, (Vec3{0, 0, -1})) << "faces keep their shape records";
}

TEST_F(Bodies, ADisplayCentreBecomesAnOriginStandingOnTheTable) {
  EXPECT_EQ(OriginForDisplayCentre({0, 1, 0}, {2, 2, 2}), (Vec3{-1, -1, 0}));
  EXPECT_EQ(OriginForDisplayCentre({5, 3, -7}, {2, 4, 6}), (Vec3{4, -10, 1}));
}

TEST_F(Bodies, TheTableIsASquareAroundItsPlacementPoint) {
  Table& table = app.world().table;
  table.PlaceAt({0, 0, 0});
  const Vec3 corners[4] = {{-30, -30, 0}, {-30, 30, 0}, {30, 30, 0}, {30, -30, 0}};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(table.tableCorners[k], corners[k]);
    EXPECT_EQ(table.tableCornerRefs()[k], &table.tableCorners[k]);
  }
  EXPECT_EQ(table.kind, Block::kTable);
  EXPECT_EQ(table.texture.Width(), 240);
  table.PlaceAt({5, 0, -7});
  table.PlaceAt({5, 0, -7});
  EXPECT_FLOAT_EQ(table.vertices[0].x, -25);
  EXPECT_FLOAT_EQ(table.vertices[0].y, 0);
  EXPECT_FLOAT_EQ(table.vertices[0].z, -37);
  EXPECT_EQ(table.tableCorners[0], (Vec3{-25, -37, 0}));
  Vec3 centre;
  EXPECT_EQ(table.GetCenter(centre), (Vec3{5, 0, -7}));
  EXPECT_FLOAT_EQ(table.vertices[2].u, 1);
  EXPECT_EQ(table.vertices[3].diffuse, 0xFFFFFFFFu);
}

}  // namespace

// Drawing only the triangles that face the viewer gives the colour and depth buffers of drawing
// all twelve, over random views of tumbling blocks painted all over, but for the odd outline
// pixel where a hidden triangle won a depth tie within rounding.
TEST(FacingFaces, TheSeenTrianglesAloneGiveThePictureAndDepthOfAllTwelve) {
  namespace r = platform::render;
  TestApp t;
  ASSERT_TRUE(t.created());
  t.EnterPlay();
  BlockSet& set = t.world().blockSet;
  r::RenderDevice* device = t.app().Graphics().Device();
  platform::PortableRand random;
  random.Seed(7);
  auto uniform = [&](float low, float high) {
    return low + (high - low) * float(random.Next()) / 32767.0f;
  };
  // Every face a pattern of its own, so a hidden face showing through would change a pixel.
  for (int i = 0; i < set.Count(); ++i)
    for (ImageTexture& texture : set.At(i)->faceTextures)
      for (int k = 0; k < 64; ++k)
        texture.Texture()->MutableTexels()[k] = 0xFF000000u | (uint32_t(random.Next()) << 9) | k;
  scenes::LeanTowers(set);
  set.settleCheck = 1;
  auto draw = [&](bool facing_only, std::vector<uint32_t>* pixels, std::vector<float>* depths) {
    device->Clear(r::kClearTarget | r::kClearZBuffer, 0xFFFFFFFF, 1.0f, 0);
    device->BeginScene();
    device->SetRenderState(r::RenderState::kCullMode, r::value::kCullNone);
    const DepthPlane depth = set.ScreenDepth(device);
    for (int i = 0; i < set.Count(); ++i)
      facing_only ? set.At(i)->DrawFacing(device, depth) : set.At(i)->Draw(device);
    device->EndScene();
    const uint32_t* p = device->GetBackBuffer()->Pixels();
    const float* d = device->GetDepthStencilSurface()->Depth();
    pixels->assign(p, p + 640 * 480);
    depths->assign(d, d + 640 * 480);
  };
  std::vector<uint32_t> all_pixels, seen_pixels;
  std::vector<float> all_depths, seen_depths;
  int hidden = 0, differing = 0;
  for (int view = 0; view < 60; ++view) {
    // The towers fall a few steps between views (their corners bent by the contacts), so
    // blocks lean at every angle; some fall through the depth range.
    for (int s = 0; s < 4; ++s) set.StepBodies();
    const Mat4 camera =
        PlayScene::CameraMatrix(uniform(0.0f, 1.5708f), uniform(0.0f, 360.0f), uniform(4, 16));
    device->SetTransform(r::TransformType::kWorld, ToDeviceMatrix(camera));
    draw(false, &all_pixels, &all_depths);
    draw(true, &seen_pixels, &seen_depths);
    for (size_t q = 0; q < all_pixels.size(); ++q) {
      if (all_pixels[q] == seen_pixels[q] && all_depths[q] == seen_depths[q]) continue;
      ++differing;
      ASSERT_NEAR(all_depths[q], seen_depths[q], 1e-4f) << "view " << view << " cell " << q;
    }
    const Vec3 axis = set.ScreenDepth(device).axis;
    for (int i = 0; i < set.Count(); ++i)
      for (int f = 0; f < 6; ++f)
        hidden += 2 - std::popcount(unsigned(set.At(i)->SeenTriangles(f, axis)));
  }
  EXPECT_GT(hidden, 60 * 100 * 4) << "about half the triangles face away";
  EXPECT_LT(differing, 60 * 10) << "ties on outlines only";
  std::printf("seen triangles: %d of %d cells differ over 60 views\n", differing, 60 * 640 * 480);
}

TEST(FacingFaces, ATriangleIsSeenByItsOutwardNormalWhateverTheOrderOfItsCorners) {
  TestApp t;
  ASSERT_TRUE(t.created());
  Block b;
  platform::gdi::DeviceContext dc;
  b.Create(dc, t.app().Graphics().Device(), t.app().Sounds(), {-1, -1, 0}, {2, 2, 2});
  // Depth grows downwards along physics z: the viewer looks from above.
  const Vec3 down{0, 0, -1};
  EXPECT_EQ(b.SeenTriangles(1, down), 3) << "top";
  EXPECT_EQ(b.SeenTriangles(0, down), 0) << "bottom";
  // The four sides, whose corner orders wind both ways, are edge-on: seen.
  for (int f = 2; f < 6; ++f) EXPECT_EQ(b.SeenTriangles(f, down), 3) << f;
  const Vec3 along_x{1, 0, 0};  // the viewer at low x
  EXPECT_EQ(b.SeenTriangles(4, along_x), 3);
  EXPECT_EQ(b.SeenTriangles(5, along_x), 0);
  // A bent top face, its corner 5 (p1, at high x) pulled down: the triangle p0 p1 p2 slopes
  // towards high x and faces away from that viewer, p0 p2 p3 stays level and edge-on.
  b.corners[5].z -= 1.0f;
  EXPECT_EQ(b.SeenTriangles(1, along_x), 2);
}
