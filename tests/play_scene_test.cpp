// The play scene as a person meets it: the towers, the palette, the camera tools, the door.
#include "play/play_scene.h"

#include <gtest/gtest.h>

#include "platform/image/picture.h"
#include "scenes/scene_manager.h"
#include "test_app.h"

namespace img = platform::image;

namespace {

class Play : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.created()) << t.app().FailureReason();
    t.EnterPlay();
    ASSERT_EQ(t.current(), &t.play());
    t.Move(320, 300);
    t.NextFrame();
    t.platform().ClearSounds();
  }
  PlayScene& play() { return t.play(); }
  Tool* tool(int index) { return t.world().tools[index].get(); }
  // Chooses a tool by clicking its icon.
  void Choose(int index) {
    t.Move(int(tool(index)->x) + 24, int(tool(index)->y) + 24);
    t.NextFrame();
    t.Click(int(tool(index)->x) + 24, int(tool(index)->y) + 24);
    t.Move(320, 300);
    t.NextFrame();
    ASSERT_EQ(play().currentTool, tool(index));
  }
  // The frame shows the picture file at (x, y).
  void ExpectPicture(const std::string& file, int x, int y) {
    img::Picture p;
    std::string why;
    ASSERT_TRUE(img::LoadPictureFile("data/" + file, &p, &why)) << why;
    int wrong = 0;
    for (int py = 0; py < p.height; ++py)
      for (int px = 0; px < p.width; ++px)
        wrong += (p.argb[size_t(py) * p.width + px] & 0xFFFFFF) != t.Pixel(x + px, y + py);
    EXPECT_EQ(wrong, 0) << file << " at " << x << "," << y;
  }

  TestApp t;
};

TEST_F(Play, EnteringShowsTheTowersThePaletteAndTheHandCursor) {
  t.Save("play_start");
  EXPECT_EQ(t.world().blockSet.Count(), 100);
  EXPECT_FLOAT_EQ(play().pitch, 30);
  EXPECT_FLOAT_EQ(play().yaw, 225);
  EXPECT_FLOAT_EQ(play().zoom, 8);
  // Hand current and lit; every other icon dimmed.
  ExpectPicture("hand.bmp", 18, 18);
  ExpectPicture("rotate_half.bmp", 18, 74);
  ExpectPicture("zoom_half.bmp", 18, 130);
  ExpectPicture("door_half.bmp", 18, 410);
  ExpectPicture("pen_red_half.bmp", 574, 18);
  ExpectPicture("pen_gray_half.bmp", 574, 410);
  // The tower columns hold black outlines and white faces; the table's far corner is outlined.
  int black = 0, white = 0;
  for (int y = 100; y < 380; ++y) {
    black += t.Pixel(320, y) == 0;
    white += t.Pixel(320, y) == 0xFFFFFF;
  }
  EXPECT_GT(black, 20);
  EXPECT_GT(white, 100);
  // The hand cursor: its picture's top-left at the mouse plus (2, 2), mask and colours applied.
  img::Picture cursor, mask;
  std::string why;
  ASSERT_TRUE(img::LoadPictureFile("data/cursor_hand.bmp", &cursor, &why));
  ASSERT_TRUE(img::LoadPictureFile("data/cursor_hand_mask.bmp", &mask, &why));
  int checked = 0;
  for (int y = 0; y < cursor.height; ++y)
    for (int x = 0; x < cursor.width; ++x) {
      if ((mask.argb[size_t(y) * mask.width + x] & 0xFFFFFF) != 0) continue;
      EXPECT_EQ(t.Pixel(322 + x, 302 + y), cursor.argb[size_t(y) * cursor.width + x] & 0xFFFFFF);
      ++checked;
    }
  EXPECT_GT(checked, 100);
}

TEST_F(Play, DrawnFacesAndThePickBufferAgree) {
  // Give every face of every block its own colour, then compare each pixel that the outlines
  // leave alone with the colour of the face its pick cell names.
  BlockSet& set = t.world().blockSet;
  for (int i = 0; i < set.Count(); ++i)
    for (int f = 0; f < 6; ++f) {
      ImageTexture& texture = *set.At(i)->PaintableFaceTexture(f);
      std::vector<uint8_t>& rgb = texture.Backing()->Buffer();
      for (size_t k = 0; k < rgb.size(); k += 3) {
        rgb[k] = uint8_t(i + 1);
        rgb[k + 1] = uint8_t(f * 40);
        rgb[k + 2] = 200;
      }
      texture.Upload(0, 0, 8, 8);
    }
  t.Move(630, 5);  // the cursor out of the way
  t.NextFrame();
  int compared = 0, differ = 0;
  const PickBuffer& front = set.FrontBuffer();
  for (int y = 1; y < 479; ++y)
    for (int x = 80; x < 560; ++x) {
      const PickCell c = front[y * 640 + x];
      Block* body = set.CellBody(c);
      if (!body || body->kind != Block::kBlock || set.EdgeMask()[y * 640 + x] ||
          set.EdgeMask()[y * 640 + x - 1] || set.EdgeMask()[(y - 1) * 640 + x] ||
          set.EdgeMask()[(y - 1) * 640 + x - 1])
        continue;
      int index = set.Find(body);
      uint32_t expected = (uint32_t(index + 1) << 16) | (uint32_t(c.FaceIndex() * 40) << 8) | 200;
      ++compared;
      differ += t.Pixel(x, y) != expected;
    }
  EXPECT_GT(compared, 5000);
  EXPECT_EQ(differ, 0) << "pixels of " << compared << " show another face than their pick cell";
  t.Save("play_faces_coloured");
}

TEST_F(Play, HoveringAnIconLightsItAndPlaysTheSelectSoundOnce) {
  t.Move(600, 40);  // the red pen
  t.NextFrame();
  t.Move(605, 45);
  t.NextFrame();
  EXPECT_TRUE(tool(4)->hot);
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 1);
  t.Move(622, 66);  // the rectangle's far corner is still inside
  t.NextFrame();
  EXPECT_TRUE(tool(4)->hot);
  ExpectPicture("pen_red.bmp", 574, 18);  // the cursor is now clear of the icon
  t.Move(623, 66);
  t.NextFrame();
  EXPECT_FALSE(tool(4)->hot);
  t.Move(600, 40);
  t.NextFrame();
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 2);
}

TEST_F(Play, AHeldRightButtonNeitherLightsNorSounds) {
  t.platform().Press(platform::MouseButton::kRight);
  t.NextFrame();
  t.Move(40, 100);  // the rotate icon
  t.NextFrame();
  EXPECT_FALSE(tool(1)->hot);
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 0);
  t.platform().Release(platform::MouseButton::kRight);
  t.NextFrame();
  EXPECT_TRUE(tool(1)->hot);
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 1);
}

TEST_F(Play, APressOutsideReleasedOverAnIconChoosesThatTool) {
  t.Press();
  t.NextFrame();
  t.Move(600, 100);  // the green pen; hot flags wait while the button is down
  t.NextFrame();
  EXPECT_FALSE(tool(5)->hot);
  t.Release();
  t.NextFrame();
  EXPECT_EQ(play().currentTool, tool(5));
  EXPECT_EQ(t.platform().CountSound("data/selected.wav"), 1);
  EXPECT_EQ(play().penColour[1], 255);
  EXPECT_EQ(play().penColour[0], 0);
}

TEST_F(Play, APressOnAnIconReleasedElsewhereChoosesNothing) {
  t.Move(40, 150);  // zoom
  t.NextFrame();
  t.Press();
  t.NextFrame();
  t.Move(300, 250);
  t.NextFrame();
  EXPECT_TRUE(tool(2)->hot) << "the hot flag keeps its last unpressed state during the drag";
  t.Release();
  t.NextFrame();
  EXPECT_EQ(play().currentTool, tool(0));
  EXPECT_EQ(t.platform().CountSound("data/selected.wav"), 0);
}

TEST_F(Play, ChoosingTheCurrentToolAgainPlaysTheSelectedSoundAgain) {
  Choose(0);
  Choose(0);
  EXPECT_EQ(t.platform().CountSound("data/selected.wav"), 2);
  Choose(1);
  EXPECT_EQ(play().penColour[0], 0) << "only pens change the pen colour";
}

TEST_F(Play, TheRotateToolTurnsTheViewWithinItsLimits) {
  Choose(1);
  t.Move(300, 200);
  t.NextFrame();
  t.Drag(310, 210, 1);
  EXPECT_FLOAT_EQ(play().yaw, 220);
  EXPECT_FLOAT_EQ(play().pitch, 35);
  t.Save("play_turned");
  t.Drag(310, 110, 4);  // 100 up: pitch 35 - 50 stops at 0
  EXPECT_FLOAT_EQ(play().pitch, 0);
  t.Move(300, 50);
  t.NextFrame();
  t.Drag(300, 450, 4);  // 400 down: +200 stops at 90
  EXPECT_FLOAT_EQ(play().pitch, 90);
  play().yaw = 1;
  t.Move(300, 200);
  t.NextFrame();
  t.Drag(310, 200, 1);
  EXPECT_FLOAT_EQ(play().yaw, 356);
}

TEST_F(Play, TheZoomToolScalesTheViewWithinItsLimits) {
  Choose(2);
  t.Move(300, 300);
  t.NextFrame();
  t.Drag(300, 200, 2);
  EXPECT_FLOAT_EQ(play().zoom, 10);
  t.Save("play_zoomed_in");
  t.Move(300, 470);
  t.NextFrame();
  t.Drag(300, 0, 4);
  EXPECT_FLOAT_EQ(play().zoom, 16);
  t.Save("play_zoomed_in_most");
  t.Move(300, 0);
  t.NextFrame();
  t.Drag(300, 470, 4);
  t.Move(300, 0);
  t.NextFrame();
  t.Drag(300, 470, 4);
  EXPECT_FLOAT_EQ(play().zoom, 4);
  t.Save("play_zoomed_out");
}

TEST_F(Play, ARightDragTurnsTheViewWithAnyToolButNotWhileTheLeftButtonDrags) {
  Choose(4);  // a pen
  t.Move(300, 200);
  t.NextFrame();
  t.platform().Press(platform::MouseButton::kRight);
  t.NextFrame();
  t.Move(320, 200);
  t.NextFrame();
  EXPECT_FLOAT_EQ(play().yaw, 215);
  t.Press();
  t.NextFrame();
  t.Move(340, 200);
  t.NextFrame();
  EXPECT_FLOAT_EQ(play().yaw, 215) << "the left drag strokes the pen instead";
  t.Release();
  t.platform().Release(platform::MouseButton::kRight);
  t.NextFrame();
}

TEST_F(Play, APenStrokeOnTheBackgroundPaintsTheCanvasAlongTheWay) {
  Choose(4);         // red
  t.Move(100, 440);  // bottom-left: table-free background at the starting view
  t.NextFrame();
  ASSERT_EQ(t.world().blockSet.CellFace(t.world().blockSet.FrontBuffer()[440 * 640 + 100]),
            nullptr);
  t.Drag(140, 450, 4);
  t.NextFrame();
  t.Save("play_pen_stroke");
  // The canvas holds blue, green, red bytes, row 0 at the top.
  auto canvas = [&](int x, int y) {
    const uint8_t* p = t.world().canvas.DibBits() + 3 * (size_t(x) + size_t(y) * 640);
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  };
  EXPECT_EQ(canvas(100, 440), 0xFF0000u);
  EXPECT_EQ(canvas(101, 441), 0xFF0000u);
  EXPECT_EQ(canvas(100, 460), 0xFFFFFFu);
  // Left of the pen cursor, which is red too: only the stroke can be red there.
  int red = 0;
  for (int y = 430; y < 460; ++y)
    for (int x = 60; x < 130; ++x) red += t.Pixel(x, y) == 0xFF0000u;
  EXPECT_GT(red, 30) << "the canvas shows behind the 3D layer";
  // The stroke's first dot is on the canvas, left of the table's edge; further on it paints the
  // table's face.
  EXPECT_EQ(t.Pixel(99, 441), 0xFF0000u);
  EXPECT_EQ(t.Pixel(116, 444), 0xFF0000u);
  EXPECT_EQ(t.Pixel(100, 460), 0xFFFFFFu);
}

TEST_F(Play, ADoorLeavesAfterTheTimeLimitWithTheDoorSoundAndTakesNoInputMeanwhile) {
  Choose(3);
  const uint32_t chosen = play().doorStartTime;
  EXPECT_EQ(t.world().blockSet.settleCheck, 1);
  EXPECT_EQ(t.platform().CountSound("data/selected.wav"), 0) << "the door plays no selected sound";
  t.NextFrame();
  ExpectPicture("door.bmp", 18, 410);
  EXPECT_EQ(t.Pixel(40, 40), 0xFFFFFFu) << "only the door is drawn while waiting";
  // A right drag and clicks do nothing now.
  const float yaw = play().yaw;
  t.platform().Press(platform::MouseButton::kRight);
  t.Move(400, 300);
  t.NextFrame();
  t.platform().Release(platform::MouseButton::kRight);
  t.Click(40, 40);
  EXPECT_FLOAT_EQ(play().yaw, yaw);
  EXPECT_EQ(play().currentTool, tool(3));
  // The starting towers settle within a few frames; before they do, more than 20000 ms pass
  // (the clock jumps): the closed door shows all the same, then the title comes.
  ASSERT_FALSE(t.world().blockSet.AllAtRest());
  ExpectPicture("door.bmp", 18, 410);
  t.platform().Advance(20001 - (t.platform().TimeMs() - chosen));
  t.NextFrame();
  EXPECT_FALSE(t.world().blockSet.AllAtRest());
  ExpectPicture("door_close.bmp", 18, 410);
  EXPECT_EQ(play().doorPictureShown, 1);
  const uint32_t before = t.platform().TimeMs();
  t.NextFrame();
  EXPECT_EQ(t.platform().CountSound("data/door.wav"), 1);
  EXPECT_EQ(t.current(), &t.title());
  EXPECT_GE(t.platform().TimeMs() - before, 1000u);
}

TEST(PlayStart, AButtonHeldWhenTheProgramStartsIsNoFreshPress) {
  TestApp t(1000, [](platform::HeadlessPlatform& p) { p.Press(platform::MouseButton::kLeft); });
  ASSERT_TRUE(t.created());
  // Straight into the play scene with the button still held from before the start.
  SceneManager* scenes = t.app().Scenes();
  Scene* play = scenes->Find("EventCreate");
  t.Move(100, 440);
  play->Load();
  t.play().currentTool = t.world().tools[4].get();  // a red pen would paint on a fresh press
  t.play().penColour[0] = 255;
  play->Update(scenes);
  play->Render(scenes);
  EXPECT_EQ(t.world().canvas.DibBits()[3 * (100 + 440 * 640) + 2], 255);
  EXPECT_EQ(t.world().canvas.DibBits()[3 * (100 + 440 * 640) + 1], 255) << "still white";
}

}  // namespace
