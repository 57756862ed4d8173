// Faces share one blank texture until painted. A random session at 300 blocks (pens, hand and
// handle moves, copies, undo, redo, a file opened again) runs input for input beside an app that
// gives every face its own texture and draws every frame whole: frames, pick buffers, the
// construction, its file and its glTF must agree, and the shared blank must stay white.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "collapse_scenes.h"
#include "keep/gltf_export.h"
#include "play/construction_file.h"
#include "play/construction_keeper.h"
#include "play/snapshot_codec.h"
#include "random_session.h"
#include "test_app.h"

namespace {

bool AllWhite(const ImageTexture& texture) {
  const std::vector<uint8_t>& rgb = texture.Backing()->Buffer();
  const uint32_t* texels = texture.Texture()->Texels();
  return std::all_of(rgb.begin(), rgb.end(), [](uint8_t c) { return c == 255; }) &&
         std::all_of(texels, texels + size_t(texture.Width()) * size_t(texture.Height()),
                     [](uint32_t t) { return t == 0xFFFFFFFFu; });
}

// Both apps driven as one, as RandomSession drives a TestApp; `shared` is the one it reads.
class TwinApps {
 public:
  // The other app also draws every frame and pick buffer whole: a frame kept although a face
  // took its own texture would show.
  TwinApps() {
    own.world().blockSet.SetSharedBlankFaces(false);
    own.world().blockSet.SetPickReuse(false);
    own.app().Graphics().SetFrameReuse(false);
    own.app().Graphics().Device()->SetPresentInRows(false);
    own.play().clearBesidePhysics = false;
  }
  World& world() { return shared.world(); }
  GameApp& app() { return shared.app(); }
  template <class Input>
  void Both(Input&& input) {
    input(shared);
    input(own);
  }
  void Move(int x, int y) {
    Both([=](TestApp& t) { t.Move(x, y); });
  }
  void Press() {
    Both([](TestApp& t) { t.Press(); });
  }
  void Release() {
    Both([](TestApp& t) { t.Release(); });
  }
  void Send(platform::Message message) {
    Both([=](TestApp& t) { t.platform().Send(message); });
    NextFrame();
  }
  // One frame in both; the pictures and pick buffers compared, the faces that show a colour
  // noted.
  void NextFrame() {
    shared.NextFrame();
    own.NextFrame();
    ++frames;
    if (!failure.empty()) return;
    const BlockSet& a = shared.world().blockSet;
    const BlockSet& b = own.world().blockSet;
    const size_t cells = a.FrontBuffer().size();
    if (shared.platform().LastFrame() != own.platform().LastFrame())
      failure = "the frames differ";
    else if (a.Count() != b.Count() ||
             std::memcmp(a.FrontBuffer().Ids(), b.FrontBuffer().Ids(), cells * 4) != 0 ||
             std::memcmp(a.FrontBuffer().Depths(), b.FrontBuffer().Depths(), cells * 4) != 0)
      failure = "the pick buffers differ";
    for (int i = 0; i < a.Count(); ++i)
      for (int f = 0; f < 6; ++f)
        if (!AllWhite(*a.At(i)->faces[f].texture)) coloured.insert({a.At(i)->id, f});
    if (!failure.empty()) failure += " at frame " + std::to_string(frames);
  }
  // What a gesture leaves: the same construction, saved as the same file; in the sharing app
  // one white texture behind every face without its own, and own textures only where a colour
  // was shown. Empty when all holds.
  std::string Judge() {
    if (!failure.empty()) return failure;
    const std::vector<uint8_t> a = EncodeSnapshot(TakeSnapshot(shared.world(), shared.play()));
    if (a != EncodeSnapshot(TakeSnapshot(own.world(), own.play())))
      return "the constructions differ";
    if (File(shared) != File(own)) return "the saved files differ";
    const ImageTexture* blank = nullptr;
    const BlockSet& set = shared.world().blockSet;
    for (int i = 0; i < set.Count(); ++i)
      for (int f = 0; f < 6; ++f) {
        const Block& block = *set.At(i);
        const std::string face = "block " + std::to_string(block.id) + " face " + std::to_string(f);
        if (block.OwnsFaceTexture(f)) {
          if (!coloured.count({block.id, f})) return face + " has its own texture, never painted";
        } else if (blank && block.faces[f].texture != blank) {
          return face + " shows a second blank texture";
        } else {
          blank = block.faces[f].texture;
        }
      }
    if (blank && !AllWhite(*blank)) return "the shared blank texture was written";
    return "";
  }
  // The saved file, or the glTF export.
  static std::vector<uint8_t> File(TestApp& t, bool gltf = false) {
    std::vector<uint8_t> bytes;
    std::string why;
    EXPECT_TRUE(gltf ? EncodeGlb(SceneOfWorld(t.world()), "test", &bytes, &why)
                     : MakeConstructionPng(TakeSnapshot(t.world(), t.play()),
                                           t.platform().LastFrame().data(), 640, 480, &bytes, &why))
        << why;
    return bytes;
  }

  TestApp shared;
  TestApp own;
  int frames = 0;
  std::string failure;                          // the first frame that differed
  std::set<std::pair<uint32_t, int>> coloured;  // (block id, face) that showed a colour
};

TEST(BlankFaces, ASessionOfPaintCopiesUndoAndReopeningIsTheSameAsWithATextureForEveryFace) {
  TwinApps twins;
  ASSERT_TRUE(twins.shared.created() && twins.own.created());
  twins.shared.EnterPlay();
  twins.own.EnterPlay();
  scenes::AddBlocksInTheAir(twins.shared, twins.shared.world().blockSet, 300, 5);
  scenes::AddBlocksInTheAir(twins.own, twins.own.world().blockSet, 300, 5);
  twins.NextFrame();
  const std::filesystem::path saved =
      std::filesystem::path(ZENTROVA_OUTPUT_DIR) / "blank_faces_session.png";
  std::filesystem::create_directories(saved.parent_path());
  std::filesystem::remove(saved);
  RandomSession<TwinApps> session(twins, 21);
  std::string judged;
  int undos = 0, reopened = 0;
  for (int g = 0; g < 48 && judged.empty(); ++g) {
    const int roll = session.Uniform(0, 12);
    History& history = twins.shared.world().history;
    if (roll < 8) {
      session.Gesture();
    } else if (roll < 10) {
      for (int k = session.Uniform(1, 3); k > 0; --k, ++undos) twins.Send(platform::Message::kUndo);
      if (roll == 9) twins.Send(platform::Message::kRedo);
    } else if (roll == 10) {
      // Back past the first step, whose undo takes the blocks in the air away, and forward:
      // painted faces come back on blocks made anew.
      for (size_t k = history.UndoSteps(); k > 0; --k, ++undos)
        twins.Send(platform::Message::kUndo);
      for (size_t k = history.RedoSteps(); k > 0; --k) twins.Send(platform::Message::kRedo);
    } else if (roll == 11) {
      const std::vector<uint8_t> png = TwinApps::File(twins.shared);
      std::ofstream file(saved, std::ios::binary);
      ASSERT_TRUE(
          file.write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size())))
          << saved;
    } else if (std::filesystem::exists(saved)) {
      std::string why;
      ASSERT_TRUE(OpenConstruction(twins.shared.app(), saved.string(), &why)) << why;
      ASSERT_TRUE(OpenConstruction(twins.own.app(), saved.string(), &why)) << why;
      twins.NextFrame();
      ++reopened;
    }
    judged = twins.Judge();
    if (!judged.empty()) judged += " after gesture " + std::to_string(g);
  }
  EXPECT_EQ(judged, "");
  EXPECT_TRUE(TwinApps::File(twins.shared, true) == TwinApps::File(twins.own, true));
  // The session did what it is for: faces painted, some undone, a file opened again, and
  // most faces still sharing.
  const BlockSet& set = twins.shared.world().blockSet;
  int owned = 0;
  for (int i = 0; i < set.Count(); ++i)
    for (int f = 0; f < 6; ++f) owned += set.At(i)->OwnsFaceTexture(f);
  EXPECT_TRUE(twins.coloured.size() > 20 && undos > 5 && reopened > 0);
  EXPECT_TRUE(owned > 0 && owned < 6 * set.Count() / 4) << owned;
}

}  // namespace
