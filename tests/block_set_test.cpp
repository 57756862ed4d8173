// The pick buffers: the software scan of faces into cells, and the outlines drawn from them.
#include "blocks/block_set.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "collapse_scenes.h"
#include "play/play_scene.h"
#include "random_triangle.h"
#include "test_app.h"
#include "uniform_draw.h"

namespace r = platform::render;

namespace {

constexpr int kW = 640, kH = 480;

class Picking : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app.created());
    cells.Allocate(kW, kH);
  }
  BlockSet& set() { return app.world().blockSet; }
  r::RenderDevice* device() { return app.app().Graphics().Device(); }
  PickCell At(int x, int y) const { return cells[size_t(y) * kW + x]; }
  void Triangle(ScreenPoint a, ScreenPoint b, ScreenPoint c, uint32_t body = 2, int face = 0,
                int triangle = 0) {
    set().RasterizeTriangle(&cells, a, b, c, body, face, triangle);
  }
  int Written() const {
    int n = 0;
    for (size_t i = 0; i < cells.size(); ++i) n += cells[i].id != 0;
    return n;
  }
  // Only one block, the table far out of view, and the starting camera.
  Block* LoneBlock() {
    set().RemoveAll();
    app.world().table.PlaceAt({1000, 0, 1000});
    platform::gdi::DeviceContext dc;
    Block* b = set().AddBlock(dc, device(), app.app().Sounds(), {0, 1, 0}, {2, 2, 2});
    device()->SetTransform(r::TransformType::kWorld,
                           ToDeviceMatrix(PlayScene::CameraMatrix(0.5235986709594728, 225, 8)));
    set().RefreshPickBuffer(device(), nullptr);
    return b;
  }

  TestApp app;
  PickBuffer cells;
};

// Work still running on the block set's second core when the world goes (a refresh the last play
// frame started, before the title took over) may read the table: the world waits for it before
// anything goes. The sanitizer build reports the table read after its destructor otherwise.
TEST(WorldTeardown, WaitsForTheSecondCoreBeforeTheTableGoes) {
  auto app = std::make_unique<TestApp>();
  ASSERT_TRUE(app->created());
  struct Probe {
    const Table* table;
    const Vec3* corner = nullptr;
    bool done = false;
  };
  Probe probe{&app->world().table};
  app->world().blockSet.SecondCore().Start(
      [](void* context) {
        auto* p = static_cast<Probe*>(context);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        p->corner = p->table->tableCornerRefs()[0];
        p->done = true;
      },
      &probe);
  app.reset();
  EXPECT_TRUE(probe.done);
  EXPECT_NE(probe.corner, nullptr);
}

TEST_F(Picking, AnEmptyViewLeavesEveryCellEmpty) {
  set().RemoveAll();
  app.world().table.PlaceAt({1000, 0, 1000});
  set().RefreshPickBuffer(device(), nullptr);
  for (int i = 0; i < kW * kH; i += 997) {
    const PickCell c = set().FrontBuffer()[i];
    EXPECT_EQ(c.depth, 999999.0f);
    EXPECT_EQ(set().CellBody(c), nullptr);
    EXPECT_EQ(set().CellFace(c), nullptr);
  }
}

TEST_F(Picking, TiesKeepWhatWasDrawnFirst) {
  Triangle({10, 10, 0.5f}, {50, 10, 0.5f}, {10, 50, 0.5f}, 2, 0);
  Triangle({10, 10, 0.5f}, {50, 10, 0.5f}, {10, 50, 0.5f}, 3, 4);
  EXPECT_EQ(At(15, 15).Body(), 2u);
  Triangle({10, 10, 0.4f}, {50, 10, 0.4f}, {10, 50, 0.4f}, 3, 4, 1);
  EXPECT_EQ(At(15, 15).Body(), 3u);
  EXPECT_EQ(At(15, 15).FaceIndex(), 4);
  EXPECT_EQ(At(15, 15).Triangle(), 1);
  EXPECT_FLOAT_EQ(At(15, 15).depth, 0.4f);
}

TEST_F(Picking, RowsOutsideTheScreenAndTheFarEdgesWriteNothing) {
  Triangle({10, -50, 0.5f}, {60, -50, 0.5f}, {10, -1, 0.5f});
  Triangle({10, 481, 0.5f}, {60, 481, 0.5f}, {10, 530, 0.5f});
  EXPECT_EQ(Written(), 0);
  // A triangle running off the right and bottom edges keeps inside the buffer.
  Triangle({600, 440, 0.5f}, {700, 440, 0.5f}, {600, 540, 0.5f});
  EXPECT_NE(At(639, 440).id, 0u);
  EXPECT_NE(At(600, 479).id, 0u);
  EXPECT_GT(Written(), 0);
}

TEST_F(Picking, AHorizontalEdgeIsIgnoredAndSpansFollowTheRoundingRules) {
  // Edge 0 is horizontal; the two others bound rows 10..20: left = 10, right shrinks.
  Triangle({10, 10, 0.5f}, {30, 10, 0.5f}, {10, 30, 0.5f});
  // Row 10: span 10..30 (first column int(10 + 0.5), last int(30)).
  EXPECT_NE(At(10, 10).id, 0u);
  EXPECT_NE(At(30, 10).id, 0u);
  EXPECT_EQ(At(31, 10).id, 0u);
  EXPECT_EQ(At(9, 10).id, 0u);
  // Row 20: the right edge is at x = 20.
  EXPECT_NE(At(20, 20).id, 0u);
  EXPECT_EQ(At(21, 20).id, 0u);
  // Rows are int(minY + 0.5) .. int(maxY + 0.5): 10.4 starts at row 10, 10.6 at row 11.
  cells.Clear();
  Triangle({100, 10.6f, 0.5f}, {120, 10.6f, 0.5f}, {100, 30.6f, 0.5f});
  EXPECT_EQ(At(105, 10).id, 0u) << "the first row is int(10.6 + 0.5) = 11";
  EXPECT_NE(At(105, 11).id, 0u);
  EXPECT_NE(At(100, 30).id, 0u);
  EXPECT_EQ(At(100, 31).id, 0u) << "row 31 is visited but no edge reaches it";
}

TEST_F(Picking, ASpanNarrowerThanAPixelHasAFlatDepth) {
  // A sliver: at each row left and right differ by less than a pixel, so the slope is 0.
  Triangle({100, 10, 0.2f}, {100.6f, 10, 0.9f}, {100.3f, 40, 0.5f});
  const PickCell c = At(100, 20);
  ASSERT_NE(c.id, 0u);
  // zLeft at row 20 along the edge from (100.3, 40, 0.5) to (100, 10, 0.2).
  EXPECT_NEAR(c.depth, 0.2f + (20 - 10) / 30.0f * 0.3f, 1e-5f);
}

TEST_F(Picking, DepthsOutsideTheRangeEndTheRowWhereTheSlopeSaysSo) {
  // Depth falls to the right, below 0.00001 from about x = 50: the rest of the row is skipped.
  Triangle({0, 10, 0.5f}, {100, 10, -0.5f}, {0, 12, 0.5f});
  EXPECT_NE(At(40, 10).id, 0u);
  EXPECT_EQ(At(60, 10).id, 0u);
  // Depth above 1000 on the left: those pixels are skipped and the scan goes on.
  Triangle({200, 20, 2000.0f}, {300, 20, 0.5f}, {200, 22, 2000.0f});
  EXPECT_EQ(At(200, 20).id, 0u);
  EXPECT_NE(At(299, 20).id, 0u);
}

TEST_F(Picking, OutlinesNeverMarkTheOriginAndNotASingleFaceCoveringTheView) {
  set().RemoveAll();
  app.world().table.PlaceAt({0, 0, 0});
  // Looking straight down at the table from close by: its top covers the whole view.
  device()->SetTransform(r::TransformType::kWorld,
                         ToDeviceMatrix(PlayScene::CameraMatrix(1.5707963267948966, 0, 40)));
  set().RefreshPickBuffer(device(), nullptr);
  ASSERT_NE(set().CellFace(set().FrontBuffer()[0]), nullptr);
  ASSERT_NE(set().CellFace(set().FrontBuffer()[kW * kH - 1]), nullptr);
  set().MarkOutlines();
  int marked = 0;
  for (int i = 0; i < kW * kH; ++i) marked += set().EdgeMask()[i];
  EXPECT_EQ(marked, 0) << "the table's two triangles are one face";
  EXPECT_EQ(set().EdgeMask()[0], 0);
}

TEST_F(Picking, ALoneBlockGetsATwoPixelOutlineOnItsSilhouetteAndBetweenItsFaces) {
  LoneBlock();
  GraphicsDevice& graphics = app.app().Graphics();
  graphics.Device()->Clear(r::kClearTarget, 0xFFFFFFFF, 1.0f, 0);
  set().DrawOutlines(graphics.Device(), graphics.BackBuffer());
  const uint32_t* frame = graphics.BackBuffer()->Pixels();
  const PickBuffer& front = set().FrontBuffer();
  int rows_checked = 0, faces_seen_max = 0, previous_first = -1, previous_last = -1;
  for (int y = 0; y < kH; ++y) {
    int first = -1, last = -1, changes = 0;
    for (int x = 0; x < kW; ++x) {
      if (front[y * kW + x].id == 0) continue;
      if (first < 0) first = x;
      last = x;
      if (x > 0 && !PickCell::SameFace(front[y * kW + x].id, front[y * kW + x - 1].id)) ++changes;
    }
    const bool upright = first == previous_first && last == previous_last;
    previous_first = first;
    previous_last = last;
    if (first < 0 || y == 0 || front[(y - 1) * kW + first].id == 0) continue;
    // The silhouette: black on the block's first two pixels and on the two past its last.
    EXPECT_EQ(frame[y * kW + first], 0u) << y;
    EXPECT_EQ(frame[y * kW + first + 1], 0u) << y;
    EXPECT_EQ(frame[y * kW + last + 1], 0u) << y;
    EXPECT_EQ(frame[y * kW + last + 2], 0u) << y;
    if (upright) {  // where the sides run straight down, nothing else is black beside them
      EXPECT_EQ(frame[y * kW + first - 1], 0xFFFFFFu) << y;
      EXPECT_EQ(frame[y * kW + last + 3], 0xFFFFFFu) << y;
    }
    faces_seen_max = std::max(faces_seen_max, changes);
    ++rows_checked;
  }
  EXPECT_GT(rows_checked, 10);
  EXPECT_GE(faces_seen_max, 1) << "rows crossing two visible faces have a line between them";
}

// Outline rows darken exactly the pixels that are marked or have a marked left, upper or
// upper-left neighbour, whether marks are scattered, crowd into runs, or sit at a run's edges
// and the row's ends; every other pixel keeps its colour, in bands or whole.
TEST_F(Picking, OutlineRowsDarkenExactlyThePixelsBesideAMark) {
  platform::PortableRand random;
  random.Seed(5);
  ASSERT_EQ(set().Width(), kW);
  ASSERT_EQ(set().Height(), kH);
  uint8_t* mask = set().MutableEdgeMask();
  const size_t cells = size_t(kW) * kH;
  for (int round = 0; round < 6; ++round) {
    std::fill(mask, mask + cells, uint8_t(0));
    const int marks = round == 0 ? 0 : round < 3 ? 40 * round : 20000 * round;
    for (int i = 0; i < marks; ++i) mask[random.Next() % cells] = 1;
    for (int y : {0, 1, 239, 479}) mask[size_t(y) * kW] = mask[size_t(y) * kW + kW - 1] = 1;
    mask[size_t(7) * kW + 32] = mask[size_t(9) * kW + 33] = mask[size_t(11) * kW + 31] = 1;
    std::vector<uint32_t> pixels(size_t(kW) * kH), expected(size_t(kW) * kH);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = expected[i] = 0x00808080u + uint32_t(i);
    auto marked = [&](int x, int y) {
      return x >= 0 && y >= 0 && mask[size_t(y) * kW + size_t(x)] != 0;
    };
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x)
        if (marked(x, y) || marked(x - 1, y) || marked(x, y - 1) || marked(x - 1, y - 1))
          expected[size_t(y) * kW + x] = 0;
    auto* bits = reinterpret_cast<uint8_t*>(pixels.data());
    const int split = 37 + round * 61;
    set().DrawOutlineRows(bits, kW * 4, kW, kH, 0, split);
    set().DrawOutlineRows(bits, kW * 4, kW, kH, split, kH);
    ASSERT_EQ(pixels, expected) << "round " << round;
  }
}

TEST_F(Picking, TheBackBufferLeavesTheExcludedBodyOut) {
  Block* b = LoneBlock();
  set().RefreshPickBuffer(device(), b);
  for (int i = 0; i < kW * kH; i += 101) EXPECT_EQ(set().BackBuffer()[i].id, 0u);
  int front = 0;
  for (int i = 0; i < kW * kH; ++i) front += set().CellBody(set().FrontBuffer()[i]) == b;
  EXPECT_GT(front, 300) << "about a 16-pixel cube at zoom 8";
}

// The edge marks are made anew only where blocks were or are drawn while the table's part of the
// fill stays the same; at every step they equal the marks made whole by the rule from the
// cells: towers falling (the fill beside the physics), a block moved and one removed, the view
// turned, the buffers emptied.
TEST_F(Picking, EdgeMarksFollowEveryFillAsIfMadeWhole) {
  app.EnterPlay();
  auto expect_whole = [&](const char* what, int step) {
    const uint8_t* mask = set().EdgeMask();
    const uint32_t* ids = set().FrontBuffer().Ids();
    constexpr uint32_t kFaceBits = ~PickCell::kTriangleBit;
    int marks = 0, wrong = 0, first_wrong = -1;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const uint32_t id = ids[y * kW + x];
        const bool left = x > 0 && ((id ^ ids[y * kW + x - 1]) & kFaceBits) != 0;
        const bool up = y > 0 && ((id ^ ids[(y - 1) * kW + x]) & kFaceBits) != 0;
        marks += left || up;
        if (mask[y * kW + x] == uint8_t(left || up)) continue;
        if (wrong++ == 0) first_wrong = y * kW + x;
      }
    EXPECT_EQ(wrong, 0) << what << " " << step << ", first at " << first_wrong % kW << ","
                        << first_wrong / kW;
    return marks;
  };
  set().MarkOutlines();
  EXPECT_GT(expect_whole("start", 0), 1000);
  scenes::LeanTowers(set());
  set().settleCheck = 1;
  for (int step = 0; step < 40; ++step) {
    set().Step(device(), nullptr);
    expect_whole("fall", step);
  }
  set().settleCheck = 0;
  set().At(7)->PlaceAt({-3.0f, 5.0f, 2.0f});
  set().RefreshPickBuffer(device(), nullptr);
  set().MarkOutlines();
  expect_whole("moved", 0);
  set().RemoveAt(12);
  set().RefreshPickBuffer(device(), nullptr);
  set().MarkOutlines();
  expect_whole("removed", 0);
  device()->SetTransform(r::TransformType::kWorld,
                         ToDeviceMatrix(PlayScene::CameraMatrix(0.7f, 200, 9)));
  set().RefreshPickBuffer(device(), nullptr);
  set().MarkOutlines();
  expect_whole("turned", 0);
  set().ClearPickBuffers();
  set().MarkOutlines();
  EXPECT_EQ(expect_whole("emptied", 0), 0);
  set().RefreshPickBuffer(device(), nullptr);
  set().MarkOutlines();
  expect_whole("filled again", 0);
}

TEST_F(Picking, TheStartingTowersPickTheirOwnBlocksAndFaces) {
  app.EnterPlay();
  // The tallest column of pixels above the table's centre belongs to blocks, each cell naming a
  // face of the body it names.
  int blocks_seen = 0;
  for (int i = 0; i < kW * kH; i += 7) {
    const PickCell c = set().FrontBuffer()[i];
    Block* body = set().CellBody(c);
    if (!body || body->kind != Block::kBlock) continue;
    ++blocks_seen;
    EXPECT_EQ(set().CellFace(c)->owner, body);
  }
  EXPECT_GT(blocks_seen, 1000);
}

}  // namespace

namespace {

// The table's first triangle written into stale cells, with or without its second, ends exactly
// as an emptied buffer filled with them one after the other: over random views, with triangles
// reaching past the screen and the depth range, after cells written from outside or after the
// last view's table and blocks.
TEST_F(Picking, TheFirstTrianglesIntoStaleCellsEndAsAnEmptiedBufferFilledWithThem) {
  platform::PortableRand random;
  random.Seed(11);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  PickBuffer reference(kW, kH);
  int past_the_range = 0;
  for (int n = 0; n < 240; ++n) {
    ScreenPoint v[3];
    for (ScreenPoint& p : v) p = {uniform(-200, 840), uniform(-200, 680), uniform(-0.2f, 1.2f)};
    if (n % 3 == 0)  // a depth range crossed: pixels skipped out of it
      v[0].z = uniform(-3000, 3000), ++past_the_range;
    // Every other view over cells written from outside (the buffer then knows nothing of
    // them), the rest over the last view's fill and blocks, of which it knows where they lie.
    if (n % 2 == 0) {
      const uint32_t stale = uint32_t(random.Next());
      float* depths = cells.Depths();
      uint32_t* ids = cells.Ids();
      for (size_t i = 0; i < cells.size(); ++i) {
        depths[i] = float(i % 7) * 0.25f;
        ids[i] = stale + uint32_t(i);
      }
    }
    // With the face's other triangle as the table has it (sharing an edge), one anywhere, or none.
    ScreenPoint next[3] = {
        v[2], {uniform(-200, 840), uniform(-200, 680), uniform(-0.2f, 1.2f)}, v[0]};
    if (n % 5 == 1) next[0] = {uniform(-200, 840), uniform(-200, 680), uniform(-0.2f, 1.2f)};
    if (n % 7 == 2) next[2].z = uniform(-3000, 3000);
    const bool with_next = n % 4 != 3;
    set().FillFirstTriangle(&cells, v[0], v[1], v[2], PickCell::kTableBody, 1, 0,
                            with_next ? next : nullptr);
    reference.Clear();
    set().RasterizeTriangle(&reference, v[0], v[1], v[2], PickCell::kTableBody, 1, 0);
    if (with_next)
      set().RasterizeTriangle(&reference, next[0], next[1], next[2], PickCell::kTableBody, 1, 1);
    // Blocks over it, anywhere, as a frame draws them after the table.
    for (int b = 0; b < 4; ++b) {
      const float x = uniform(-20, 660), y = uniform(-20, 500), z = uniform(0.0f, 1.0f);
      const ScreenPoint t[3] = {{x, y, z},
                                {x + uniform(-40, 40), y + uniform(-40, 40), uniform(0.0f, 1.0f)},
                                {x + uniform(-40, 40), y + uniform(-40, 40), uniform(0.0f, 1.0f)}};
      set().RasterizeTriangle(&cells, t[0], t[1], t[2], set().BodyId(b), 2, 0);
      set().RasterizeTriangle(&reference, t[0], t[1], t[2], set().BodyId(b), 2, 0);
    }
    ASSERT_EQ(
        std::memcmp(std::as_const(cells).Ids(), std::as_const(reference).Ids(), cells.size() * 4),
        0)
        << n;
    ASSERT_EQ(std::memcmp(std::as_const(cells).Depths(), std::as_const(reference).Depths(),
                          cells.size() * 4),
              0)
        << n;
  }
  EXPECT_EQ(past_the_range, 80);
}

}  // namespace

namespace {

// Bodies that fell off the table end up anywhere: vertices far away, or not numbers at all, are
// cut before any conversion to int, and a triangle spanning the whole screen from far away still
// fills it.
// The fill writes, four cells at a time, exactly what a plain strict depth test over the walk's
// pixels writes, over stale cells of every depth and over its own depths.
TEST_F(Picking, RandomTrianglesWriteTheCellsOfAPlainStrictDepthTest) {
  platform::PortableRand random;
  random.Seed(11);
  // Squares of near cells among far ones, so that the fill passes over many hidden triangles.
  for (size_t i = 0; i < cells.size(); ++i) {
    const bool near = (i % kW / 40 + i / kW / 40) % 2 == 0;
    cells.Depths()[i] = near ? UniformIn(random, 0.15f, 0.2f) : UniformIn(random, 0.0f, 1.2f);
    cells.Ids()[i] = uint32_t(random.Next());
  }
  PickBuffer plain = cells;
  r::DepthTiles tiles;
  tiles.Begin(cells.FillDepths(), kW, 0, kH);
  int written = 0, skipped = 0;
  for (int round = 0; round < 4000; ++round) {
    ScreenPoint p[3];
    RandomTriangle(random, kW, kH, p);
    // Every fourth triangle comes twice, as another face: its depths tie with its own.
    for (int again = 0; again < (round % 4 == 0 ? 2 : 1); ++again) {
      const uint32_t body = 2 + uint32_t(round % 50) + uint32_t(again);
      const int face = round % 6, triangle = (round / 6) % 2;
      skipped +=
          !set().RasterizeTriangle(&cells, p[0], p[1], p[2], body, face, triangle, nullptr, &tiles);
      const uint32_t id = (body << 4) | (triangle ? PickCell::kTriangleBit : 0) | uint32_t(face);
      WalkPickTrianglePixels(p[0], p[1], p[2], kW, kH, [&](int x, int y, float z) {
        const size_t i = CellIndex(x, y, kW);
        if (z < plain.Depths()[i]) plain.Depths()[i] = z, plain.Ids()[i] = id, ++written;
      });
    }
  }
  EXPECT_GT(written, 100000);
  EXPECT_GT(skipped, 400);
  EXPECT_EQ(std::memcmp(cells.Depths(), plain.Depths(), cells.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(cells.Ids(), plain.Ids(), cells.size() * sizeof(uint32_t)), 0);
}

TEST_F(Picking, VerticesFarAwayOrNotNumbersAreCutBeforeAnyConversion) {
  const float nan = std::nanf("");
  for (float far : {1e9f, -1e9f, 1e30f, -1e30f, 3e38f, -3e38f}) {
    Triangle({far, far, 0.5f}, {60, 10, 0.5f}, {10, 60, 0.5f});
    Triangle({10, 10, 0.5f}, {far, 10, 0.5f}, {10, -far, 0.5f});
    Triangle({10, 10, far}, {60, 10, 0.5f}, {10, 60, -far});
  }
  Triangle({nan, 10, 0.5f}, {60, 10, 0.5f}, {10, 60, 0.5f});
  Triangle({10, nan, 0.5f}, {60, 10, 0.5f}, {10, 60, 0.5f});
  Triangle({10, 10, nan}, {60, 10, 0.5f}, {10, 60, 0.5f});
  cells.Allocate(kW, kH);
  Triangle({-1e9f, -1e9f, 0.5f}, {3e9f, -1e9f, 0.5f}, {-1e9f, 3e9f, 0.5f});
  EXPECT_EQ(Written(), kW * kH);
}

}  // namespace
