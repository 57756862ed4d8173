// Frames that cannot differ are not drawn again: the same sessions run side by side in two apps,
// one keeping unchanged frames and pick buffers, handing frames over in bands of rows, clearing
// the background beside the physics, passing over hidden triangles and sharing one blank texture
// among unpainted faces, one drawing and presenting everything whole in the bands with a texture
// for every face, and every presented frame, every pick cell, the edge mask and the handle map
// must agree bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <utility>

#include "bottom_edge.h"
#include "collapse_scenes.h"
#include "keep/gltf_export.h"
#include "platform/safe_file.h"
#include "play/construction_file.h"
#include "play/construction_keeper.h"
#include "play/snapshot_codec.h"
#include "random_session.h"
#include "test_app.h"
#include "uniform_draw.h"

namespace {

namespace r = platform::render;

class Twins : public testing::Test {
 public:  // RandomSession drives the twins
  void SetUp() override {
    ASSERT_TRUE(kept.created()) << kept.app().FailureReason();
    ASSERT_TRUE(whole.created()) << whole.app().FailureReason();
    whole.app().Graphics().SetFrameReuse(false);
    whole.app().Graphics().Device()->SetPresentInRows(false);
    whole.play().clearBesidePhysics = false;
    whole.world().blockSet.SetPickReuse(false);
    whole.app().Graphics().Device()->SetSkipHidden(false);
    whole.world().blockSet.SetSkipHidden(false);
    whole.world().blockSet.SetSharedBlankFaces(false);
    Frame();
  }

  // One frame in both, then everything either could show or pick compared.
  void Frame() {
    kept.NextFrame();
    whole.NextFrame();
    ++frames;
    if (afterFrame) afterFrame();
    const std::string at = "frame " + std::to_string(frames);
    ASSERT_EQ(kept.current() == &kept.play(), whole.current() == &whole.play()) << at;
    ASSERT_TRUE(kept.platform().LastFrame() == whole.platform().LastFrame()) << at;
    const BlockSet& a = kept.world().blockSet;
    const BlockSet& b = whole.world().blockSet;
    ASSERT_EQ(a.Count(), b.Count()) << at;
    const size_t cells = a.FrontBuffer().size();
    ASSERT_EQ(std::memcmp(a.FrontBuffer().Ids(), b.FrontBuffer().Ids(), cells * 4), 0) << at;
    ASSERT_EQ(std::memcmp(a.FrontBuffer().Depths(), b.FrontBuffer().Depths(), cells * 4), 0) << at;
    ASSERT_EQ(std::memcmp(a.EdgeMask(), b.EdgeMask(), cells), 0) << at;
    // White faces over a white ground look alike: the depths show what was filled.
    r::DepthSurface* da = kept.app().Graphics().Device()->GetDepthStencilSurface();
    r::DepthSurface* db = whole.app().Graphics().Device()->GetDepthStencilSurface();
    ASSERT_EQ(da != nullptr, db != nullptr) << at;
    if (da && compareDepths) {
      ASSERT_EQ(std::memcmp(da->Depth(), db->Depth(), da->Size() * 4), 0) << at;
    }
    const GrabLayer& ha = kept.world().grabLayer;
    const GrabLayer& hb = whole.world().grabLayer;
    ASSERT_EQ(ha.Count(), hb.Count()) << at;
    if (ha.Count() == 0) return;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x)
        ASSERT_EQ(ha.Find(ha.HandleAt(x, y)), hb.Find(hb.HandleAt(x, y))) << at;
  }
  void Frames(int n) {
    for (int i = 0; i < n && !HasFatalFailure(); ++i) Frame();
  }
  // For RandomSession, which drives and reads the twins as one app.
  void NextFrame() { Frame(); }
  World& world() { return kept.world(); }
  GameApp& app() { return kept.app(); }
  void Send(platform::Message message) {
    kept.platform().Send(message);
    whole.platform().Send(message);
    Frame();
  }

  void Move(int x, int y) {
    kept.Move(x, y);
    whole.Move(x, y);
  }
  void Press(platform::MouseButton button = platform::MouseButton::kLeft) {
    kept.platform().Press(button);
    whole.platform().Press(button);
  }
  void Release(platform::MouseButton button = platform::MouseButton::kLeft) {
    kept.platform().Release(button);
    whole.platform().Release(button);
  }
  void Click(int x, int y) {
    Move(x, y);
    Frame();
    Press();
    Frame();
    Release();
    Frame();
  }
  // From the cursor's place to (x, y) in `steps` frames with the button held, then a few still.
  void Drag(int x, int y, int steps, platform::MouseButton button = platform::MouseButton::kLeft) {
    const platform::Point from = kept.platform().CursorPos();
    Press(button);
    Frame();
    for (int i = 1; i <= steps && !HasFatalFailure(); ++i) {
      Move(from.x + (x - from.x) * i / steps, from.y + (y - from.y) * i / steps);
      Frame();
    }
    Frames(3);
    Release(button);
    Frames(3);
  }
  // The play space entered, then blocks added in the air in both until each holds `total`.
  void PlayWithBlocksInTheAir(int total, uint32_t seed) {
    Click(150, 370);
    Frames(14);
    ASSERT_EQ(kept.current(), &kept.play());
    scenes::AddBlocksInTheAir(kept, kept.world().blockSet, total, seed);
    scenes::AddBlocksInTheAir(whole, whole.world().blockSet, total, seed);
  }
  void ChooseTool(int index) {
    const Tool* tool = kept.world().tools[index].get();
    Click(int(tool->x) + 24, int(tool->y) + 24);
  }
  bool BottomEdgePoint(int index, platform::Point* point) {
    const BlockSet& set = kept.world().blockSet;
    return ::BottomEdgePoint(set, kept.app().Graphics().Device(), *set.At(index), point);
  }
  platform::Point Centre(int index) { return kept.Centre(index); }

  TestApp kept;
  TestApp whole;
  int frames = 0;
  std::function<void()> afterFrame;
  // A scene kept across a reset is shown again without a fill: the new depths stay cleared.
  bool compareDepths = true;
};

TEST_F(Twins, TitleHoverAndAPlaySessionWithEveryToolAndTheDoorLookTheSameDrawnWhole) {
  // The title: still, over each button, away again.
  Frames(4);
  Move(150, 370);
  Frames(4);
  Move(450, 370);
  Frames(4);
  Move(20, 20);
  Frames(4);
  const int title_reused = kept.app().Graphics().FramesReused();
  EXPECT_GT(title_reused, 6) << "still title frames are kept";

  Click(150, 370);
  Frames(14);
  ASSERT_EQ(kept.current(), &kept.play());
  Frames(5);
  // The cursor alone moving, along a row and then onto an icon that lights.
  Move(300, 200);
  Frames(2);
  Move(340, 200);
  Frames(2);
  Move(42, 98);
  Frames(2);

  // The hand: a block dragged by a face, then a grab handle moved in depth, its marker left on
  // the table.
  ChooseTool(0);
  Move(Centre(75).x, Centre(75).y);
  Frames(2);
  Drag(Centre(75).x + 40, Centre(75).y + 30, 8);
  platform::Point edge;
  bool found = false;
  for (int bottom : {0, 25, 50, 75}) found = found || BottomEdgePoint(bottom, &edge);
  ASSERT_TRUE(found) << "a bottom block's edge in view";
  Move(edge.x, edge.y);
  Frames(2);
  Drag(edge.x, edge.y + 40, 4);
  EXPECT_EQ(kept.world().grabLayer.Count(), 1) << "a handle was taken";
  Move(20, 240);
  Frames(4);
  ASSERT_FALSE(HasFatalFailure());

  // Rotate, zoom, then pens over the blocks and over the background.
  ChooseTool(1);
  Move(320, 240);
  Drag(360, 262, 8);
  ChooseTool(2);
  Move(320, 240);
  Drag(320, 220, 4);
  // A pen press that does not move paints one spot: on a face, then on the canvas.
  ChooseTool(4);
  for (const platform::Point spot : {Centre(10), platform::Point{100, 420}}) {
    Move(spot.x, spot.y);
    Frames(2);
    Press();
    Frames(2);
    Release();
    Frames(2);
  }
  Move(300, 150);
  Drag(340, 300, 10);
  Move(100, 440);
  Drag(140, 452, 6);
  // A turn with the right button drops the handle.
  Drag(180, 462, 4, platform::MouseButton::kRight);
  EXPECT_EQ(kept.world().grabLayer.Count(), 0);
  ASSERT_FALSE(HasFatalFailure());

  // The door over leant towers: a real collapse, then the title again.
  scenes::LeanTowers(kept.world().blockSet);
  scenes::LeanTowers(whole.world().blockSet);
  ChooseTool(3);
  for (int i = 0; i < 1200 && kept.current() == &kept.play() && !HasFatalFailure(); ++i) Frame();
  ASSERT_EQ(kept.current(), &kept.title());
  Frames(4);

  EXPECT_GT(kept.app().Graphics().FramesReused(), title_reused + 10)
      << "still play frames are kept";
  EXPECT_GT(kept.world().blockSet.PickFillsSkipped(), 20);
  EXPECT_EQ(whole.app().Graphics().FramesReused(), 0);
  EXPECT_EQ(whole.world().blockSet.PickFillsSkipped(), 0);
}

TEST_F(Twins, AFrameDrawnWhileTheDeviceWasLostIsDrawnAgainAfterTheReset) {
  compareDepths = false;
  Click(150, 370);
  Frames(14);
  ASSERT_EQ(kept.current(), &kept.play());
  // The loss makes Present fail; nothing drawn then may be kept, and the reset makes new
  // buffers that must be drawn whole.
  kept.app().Graphics().Device()->InjectDeviceLoss();
  whole.app().Graphics().Device()->InjectDeviceLoss();
  kept.NextFrame();
  whole.NextFrame();
  Frames(4);
  EXPECT_NE(kept.platform().FramePixel(320, 240), 0u);
}

bool AllWhite(const ImageTexture& texture) {
  const std::vector<uint8_t>& rgb = texture.Backing()->Buffer();
  const uint32_t* texels = texture.Texture()->Texels();
  return std::all_of(rgb.begin(), rgb.end(), [](uint8_t c) { return c == 255; }) &&
         std::all_of(texels, texels + size_t(texture.Width()) * size_t(texture.Height()),
                     [](uint32_t t) { return t == 0xFFFFFFFFu; });
}

// The saved file, or the glTF export.
std::vector<uint8_t> File(TestApp& t, bool gltf = false) {
  std::vector<uint8_t> bytes;
  std::string why;
  EXPECT_TRUE(gltf ? EncodeGlb(SceneOfWorld(t.world()), "test", &bytes, &why)
                   : MakeConstructionPng(TakeSnapshot(t.world(), t.play()),
                                         t.platform().LastFrame().data(), 640, 480, &bytes, &why))
      << why;
  return bytes;
}

// Handles of a crowd's blocks slid in depth, then blocks taken with the hand and dragged to the
// screen's corners, its edges and the table, a turn between: the frames drawn again only in the
// rows of the moved blocks, and the pick cells filled again only there, are those drawn and filled
// whole.
TEST_F(Twins, BlocksDraggedOverACrowdToTheEdgesAndTheTableLookTheSameRedrawnInTheirRowsAlone) {
  PlayWithBlocksInTheAir(600, 9);
  ASSERT_FALSE(HasFatalFailure());
  ChooseTool(0);
  // A block set down on the open table, then slid in depth by a handle and by a second one that
  // copies it: the block keeps its rows while the markers move through others, so the kept
  // scene must be the one without markers.
  const BlockSet& set = kept.world().blockSet;
  int moved = 0;
  while (set.CellBody(set.FrontCell(Centre(moved).x, Centre(moved).y)) != set.At(moved)) ++moved;
  Move(Centre(moved).x, Centre(moved).y);
  Frames(2);
  Drag(470, 425, 8);
  platform::Point edge;
  ASSERT_TRUE(BottomEdgePoint(moved, &edge));
  for (int lift : {-40, -25}) {
    Move(edge.x, edge.y);
    Frames(2);
    Drag(edge.x, edge.y - lift, 12);
  }
  const GrabLayer& handles = kept.world().grabLayer;
  ASSERT_EQ(handles.Count(), 2);
  int marked = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) marked += handles.HandleAt(x, y) != nullptr;
  EXPECT_GT(marked, 20) << "the markers show";
  // The first handle taken again by its marker, which then leaves rows the block never covered.
  const platform::Point marker{edge.x, edge.y + 38};
  ASSERT_EQ(handles.HandleAt(marker.x, marker.y), handles.At(0));
  Move(marker.x, marker.y);
  Frames(2);
  Drag(marker.x, marker.y - 30, 10);
  EXPECT_GT(kept.play().framesInMovedRows, 20);
  const platform::Point targets[] = {{630, 20}, {5, 470}, {320, 470}, {639, 240}, {2, 2}};
  int target = 0;
  for (int block : {75, 30, 210, 450, 590}) {
    Move(Centre(block).x, Centre(block).y);
    Frames(2);
    const platform::Point to = targets[target++ % 5];
    Drag(to.x, to.y, 12);
    // A turn between drags: the kept picture and pick cells no longer show the camera.
    if (block == 210) Drag(330, 250, 3, platform::MouseButton::kRight);
  }
  EXPECT_GT(kept.play().framesInMovedRows, 50);
  EXPECT_GT(kept.world().blockSet.FrontRowRefills(), 50);
}

// Random sets of a crowd's blocks moved at once, as undo and redo move them: a little, far up,
// down, sideways, towards and behind the camera, past where rows can be bounded, and back; then
// nudged where they went, so that sets lying wholly above or below the picture move again
// there and leave an empty band of rows. Every refill of the moved rows (the crowd is filled
// nearest first) and every frame redrawn in them must be those made whole.
TEST_F(Twins, RandomSetsOfBlocksMovedOnAndOffThePictureRefillTheirRowsAsAWholeFillDoes) {
  PlayWithBlocksInTheAir(400, 13);
  ASSERT_FALSE(HasFatalFailure());
  platform::PortableRand random;
  random.Seed(42);
  auto uniform = [&](float low, float high) { return UniformIn(random, low, high); };
  const BlockSet& set = kept.world().blockSet;
  auto move = [&](int index, const Vec3& delta) {
    for (TestApp* t : {&kept, &whole}) {
      Block& b = *t->world().blockSet.At(index);
      for (Vec3& c : b.corners) AddInPlace(c, delta);
      AddInPlace(b.centre, delta);
    }
  };
  // The least and greatest screen row of the blocks' corners.
  auto rows = [&](const std::vector<int>& blocks) {
    const Mat4 screen = set.ScreenMatrix(kept.app().Graphics().Device());
    float low = INFINITY, high = -INFINITY;
    for (int i : blocks)
      for (const Vec3& c : set.At(i)->corners) {
        const ScreenPoint p = ProjectToScreen(c, screen);
        low = std::min(low, p.y), high = std::max(high, p.y);
      }
    return std::pair{low, high};
  };
  // Blocks all but their lowest corner above the picture, as a view zoomed in has them: the
  // fills of an empty band above it still meet their triangles.
  for (int i = 0; i < set.Count(); i += set.Count() / 12) {
    for (int step = 0; step < 40000 && rows({i}).second >= 0.0f; ++step) move(i, {0, 0, 0.01f});
    ASSERT_GT(rows({i}).second, -0.5f);
  }
  Frame();
  const int refills_before = set.FrontRowRefills();
  int empty_above = 0, empty_below = 0;
  for (int round = 0; round < 40 && !HasFatalFailure(); ++round) {
    std::vector<int> blocks(size_t(uniform(1.0f, 6.99f)));
    for (int& i : blocks) i = int(uniform(0.0f, float(set.Count()) - 0.01f));
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    const float far = uniform(40.0f, 400.0f);
    const Vec3 kinds[] = {{uniform(-3, 3), uniform(-3, 3), uniform(-3, 3)},
                          {0.0f, 0.0f, far},
                          {0.0f, 0.0f, -far},
                          {uniform(0, 1) < 0.5f ? far : -far, 0.0f, 0.0f},
                          {0.0f, -far, 0.0f},
                          {0.0f, far, 0.0f},
                          {0.0f, 0.0f, 1.0e6f}};
    const int kind = int(uniform(0.0f, 6.99f));
    std::vector<Vec3> from;
    for (int i : blocks) from.push_back(set.At(i)->centre);
    for (int i : blocks) move(i, kinds[kind]);
    Frame();
    const auto [low, high] = rows(blocks);
    for (int i : blocks) move(i, {0.5f, 0.0f, 0.5f});
    Frame();
    const auto [low2, high2] = rows(blocks);
    empty_above += high < -5.0f && high2 < -5.0f;
    empty_below += low > 490.0f && low2 > 490.0f;
    // Half the sets go back where they were, as a redo after an undo brings them.
    if (uniform(0, 1) < 0.5f) {
      for (size_t k = 0; k < blocks.size(); ++k) {
        Vec3 back;
        move(blocks[k], Subtract(back, from[k], set.At(blocks[k])->centre));
      }
      Frame();
    }
  }
  EXPECT_GT(empty_above, 2);
  EXPECT_GT(empty_below, 2);
  EXPECT_GT(set.FrontRowRefills() - refills_before, 20);
  EXPECT_GT(kept.play().framesInMovedRows, 20);
}

// A random session at 1000 blocks (pens, hand and handle moves, copies, undo, redo, a file opened
// again, frames where only the pointer moves over blocks, icons and handles' markers) and the
// door's fall. Besides every frame alike: faces share one blank texture until painted, so the
// construction, its file and its glTF must be those of the app that gives every face its own
// texture, and in the sharing app one white texture stays behind every face without its own,
// and own textures are only where a colour was shown.
TEST_F(Twins, AThousandBlocksInARandomSessionAndTheDoorLookTheSameWithATextureForEveryFace) {
  // The blocks' faces are filled nearest first in one twin (as from 4096 triangles), in drawing
  // order in the other, which does not skip hidden ones.
  PlayWithBlocksInTheAir(1000, 5);
  ASSERT_FALSE(HasFatalFailure());
  std::set<std::pair<uint32_t, int>> coloured;  // (block id, face) that showed a colour
  const BlockSet& set = kept.world().blockSet;
  afterFrame = [&] {
    for (int i = 0; i < set.Count(); ++i)
      for (int f = 0; f < 6; ++f)
        if (!AllWhite(*set.At(i)->faces[f].texture)) coloured.insert({set.At(i)->id, f});
  };
  const std::string saved = std::string(ZENTROVA_OUTPUT_DIR) + "/blank_faces_session.png";
  std::filesystem::create_directories(ZENTROVA_OUTPUT_DIR);
  std::filesystem::remove(saved);
  RandomSession<Twins> session(*this, 21);
  History& history = kept.world().history;
  int undos = 0, reopened = 0, owned = 0;
  for (int g = 0; g < 48 && !HasFatalFailure(); ++g) {
    // A file written and opened again at set gestures too, whatever the rolls give.
    const int roll = g == 24 ? 11 : g == 36 ? 12 : session.Uniform(0, 12);
    if (roll < 8) {
      session.Gesture();
    } else if (roll < 10) {
      for (int k = session.Uniform(1, 3); k > 0; --k, ++undos) Send(platform::Message::kUndo);
      if (roll == 9) Send(platform::Message::kRedo);
    } else if (roll == 10) {
      // Back past the first step, whose undo takes the blocks in the air away, and forward:
      // painted faces come back on blocks made anew.
      for (size_t k = history.UndoSteps(); k > 0; --k, ++undos) Send(platform::Message::kUndo);
      for (size_t k = history.RedoSteps(); k > 0; --k) Send(platform::Message::kRedo);
    } else if (roll == 11) {
      const std::vector<uint8_t> png = File(kept);
      std::string written, why;
      ASSERT_TRUE(platform::WriteFileSafely(saved, png.data(), png.size(),
                                            platform::ExistingFile::kReplace, &written, &why))
          << why;
    } else if (std::filesystem::exists(saved)) {
      std::string why;
      ASSERT_TRUE(OpenConstruction(kept.app(), saved, &why)) << why;
      ASSERT_TRUE(OpenConstruction(whole.app(), saved, &why)) << why;
      Frame();
      ++reopened;
    }
    const std::string after = "after gesture " + std::to_string(g);
    ASSERT_TRUE(EncodeSnapshot(TakeSnapshot(kept.world(), kept.play())) ==
                EncodeSnapshot(TakeSnapshot(whole.world(), whole.play())))
        << after;
    ASSERT_TRUE(File(kept) == File(whole)) << after;
    const ImageTexture* blank = nullptr;
    owned = 0;
    for (int i = 0; i < set.Count(); ++i)
      for (int f = 0; f < 6; ++f) {
        const Block& block = *set.At(i);
        if (block.OwnsFaceTexture(f)) {
          ++owned;
          ASSERT_TRUE(coloured.count({block.id, f})) << "never painted, own texture " << after;
        } else {
          ASSERT_TRUE(!blank || block.faces[f].texture == blank) << "a second blank " << after;
          blank = block.faces[f].texture;
        }
      }
    ASSERT_TRUE(!blank || AllWhite(*blank)) << "the shared blank was written " << after;
  }
  EXPECT_TRUE(File(kept, true) == File(whole, true));
  // The session did what it is for: faces painted, some undone, a file opened again, and most
  // faces still sharing.
  EXPECT_TRUE(coloured.size() > 20 && undos > 5 && reopened > 0)
      << coloured.size() << " faces coloured, " << undos << " undos, " << reopened << " reopened";
  EXPECT_TRUE(owned > 0 && owned < 6 * set.Count() / 4) << owned;
  EXPECT_GT(kept.play().framesOverKeptScene, 15);
  EXPECT_EQ(whole.play().framesOverKeptScene, 0);
  // Drags and turns of a few blocks drew only their rows again, bit for bit the whole frame.
  EXPECT_GT(kept.play().framesInMovedRows, 30);
  EXPECT_EQ(whole.play().framesInMovedRows, 0);
  EXPECT_GT(kept.world().blockSet.FrontRowRefills(), 30);
  EXPECT_EQ(whole.world().blockSet.FrontRowRefills(), 0);
  ChooseTool(3);  // the door: the thousand fall onto the towers
  Frames(40);
  EXPECT_GT(kept.app().Graphics().Device()->HiddenSkipped(), 10000u);
  EXPECT_GT(kept.world().blockSet.HiddenSkipped(), 10000u);
  EXPECT_EQ(whole.world().blockSet.HiddenSkipped(), 0u);
}

// Pens write the canvas and the textures through their writable views; each such write makes
// the next frame be drawn.
TEST(FrameKey, WritableViewsOfPicturesCountAsChanges) {
  TestApp t;
  ASSERT_TRUE(t.created());
  DibImage& canvas = t.world().canvas;
  const uint64_t before = canvas.Version();
  EXPECT_EQ(std::as_const(canvas).DibBits(), canvas.DibBits());
  EXPECT_GT(canvas.Version(), before);
  platform::render::Texture* texture = t.world().table.texture.Texture();
  const uint64_t texels = texture->Version();
  t.world().table.texture.Upload(0, 0, 1, 1);
  EXPECT_GT(texture->Version(), texels);
}

// Keys are equal exactly when the same bytes were added, across growth, clears that keep the
// memory, and swaps.
TEST(FrameKey, EqualOnlyForTheSameBytesAcrossGrowthClearsAndSwaps) {
  FrameKey a, b;
  EXPECT_TRUE(a.Empty());
  EXPECT_TRUE(a == b);
  for (int i = 0; i < 5000; ++i) a.Add(i), b.Add(i);
  EXPECT_TRUE(a == b);
  b.Add(uint8_t(0));
  EXPECT_FALSE(a == b) << "a longer key differs";
  a.Add(uint8_t(1));
  EXPECT_FALSE(a == b);
  a.Clear();
  EXPECT_TRUE(a.Empty());
  a.Add(2.5f);
  FrameKey c;
  c.Add(2.5f);
  EXPECT_TRUE(a == c);
  a.Swap(b);
  EXPECT_TRUE(b == c);
  EXPECT_FALSE(a == c);
  EXPECT_EQ(a.Empty(), false);
  c.Clear();
  c.Add(-0.0f);
  b.Clear();
  b.Add(0.0f);
  EXPECT_FALSE(b == c) << "compared as bytes";
}

}  // namespace
