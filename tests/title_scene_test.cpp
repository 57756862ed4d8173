// The title screen as a person meets it.
#include "scenes/title_scene.h"

#include <gtest/gtest.h>

#include "platform/image/picture.h"
#include "scenes/scene_manager.h"
#include "test_app.h"

namespace img = platform::image;

namespace {

class Title : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.created()) << t.app().FailureReason();
    t.Move(600, 460);
    t.NextFrame();
  }
  img::Picture Load(const std::string& file) {
    img::Picture p;
    std::string why;
    EXPECT_TRUE(img::LoadPictureFile("data/" + file, &p, &why)) << why;
    return p;
  }
  // The button picture's middle pixel (inside its hit rectangle, on the face colour) as drawn.
  uint32_t FaceColour(const Button& b) {
    return t.Pixel(int(b.position[0]) + 40, int(b.position[1]) + 24);
  }
  Button& start() { return *t.world().startButton; }
  Button& end() { return *t.world().endButton; }

  TestApp t;
};

TEST_F(Title, TheFirstFrameShowsThePictureTranslucentButtonsAndTheArrowOnTheCursor) {
  t.Save("title_first_frame");
  EXPECT_EQ(t.platform().WindowTitle(), "Zentrova");
  EXPECT_EQ(t.current(), &t.title());
  img::Picture title = Load("title.bmp");
  int wrong = 0;
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 512; ++x)
      wrong += (title.argb[size_t(y) * 512 + x] & 0xFFFFFF) != t.Pixel(64 + x, y);
  EXPECT_EQ(wrong, 0) << "the title picture at (64, 0)";
  EXPECT_EQ(t.Pixel(63, 100), 0xFFFFFFu);
  // A translucent button: its face colour mixed 72/255 with the white below.
  img::Picture button = Load("start_on.bmp");
  const uint32_t face = button.argb[size_t(24) * button.width + 40] & 0xFFFFFF;
  auto mix = [](uint32_t c) { return (c * 72 + 255 * 183 + 127) / 255; };
  const uint32_t translucent =
      mix(face >> 16) << 16 | mix((face >> 8) & 0xFF) << 8 | mix(face & 0xFF);
  EXPECT_EQ(FaceColour(start()), translucent);
  EXPECT_NE(FaceColour(start()), face);
  // The arrow's tip (its top-left, black) on the cursor, white inside it.
  EXPECT_EQ(t.Pixel(600, 460), 0u);
  EXPECT_EQ(t.Pixel(601, 462), 0xFFFFFFu);
  EXPECT_EQ(t.Pixel(599, 460), 0xFFFFFFu);
}

TEST_F(Title, MovingOntoAButtonLightsItWithOneSelectSoundPerEntry) {
  t.Move(96, 336);  // the start rectangle's top-left corner is inside
  t.NextFrame();
  t.Move(150, 370);
  t.NextFrame();
  EXPECT_TRUE(start().hot);
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 1);
  img::Picture button = Load("start_on.bmp");
  EXPECT_EQ(FaceColour(start()), button.argb[size_t(24) * button.width + 40] & 0xFFFFFF)
      << "opaque when hot";
  t.Move(95, 336);
  t.NextFrame();
  EXPECT_FALSE(start().hot);
  t.Move(303, 400);
  t.NextFrame();
  EXPECT_FALSE(start().hot);
  t.Move(302, 400);
  t.NextFrame();
  EXPECT_TRUE(start().hot);
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 2);
  t.Move(544, 400);
  t.NextFrame();
  EXPECT_TRUE(end().hot);
  EXPECT_FALSE(start().hot);
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 3);
}

TEST_F(Title, APressThatBeganOutsideDoesNothingOverAButton) {
  t.Move(20, 450);
  t.Press();
  t.NextFrame();
  t.Move(150, 370);
  t.NextFrame();
  t.NextFrame();
  EXPECT_EQ(t.title().ClickAction(), TitleScene::kNone);
  t.Release();
  t.NextFrame();
  t.Press();
  t.NextFrame();
  EXPECT_EQ(t.title().ClickAction(), TitleScene::kStart) << "pressing again there chooses it";
}

TEST_F(Title, StartPlaysItsSoundWaitsTenUpdatesThenASecondAndShowsThePlaySceneInThatFrame) {
  t.Move(150, 370);
  t.NextFrame();
  t.Press();
  t.NextFrame();
  t.Release();
  ASSERT_EQ(t.platform().CountSound("data/start.wav"), 1);
  EXPECT_EQ(t.platform().SoundsPlayed().back().name, "data/start.wav");
  const std::vector<uint32_t> click_frame = t.platform().LastFrame();
  t.Move(300, 100);  // the cursor is not read while the action is pending
  for (int i = 0; i < 10; ++i) {
    t.NextFrame();
    EXPECT_EQ(t.platform().LastFrame(), click_frame) << "update " << i + 1;
  }
  const uint32_t before = t.platform().TimeMs();
  const int frames = t.platform().FramesPresented();
  t.NextFrame();
  EXPECT_EQ(t.platform().FramesPresented(), frames + 1);
  EXPECT_GE(t.platform().TimeMs() - before, 1000u);
  EXPECT_EQ(t.current(), &t.play());
  EXPECT_NE(t.platform().LastFrame(), click_frame);
  t.Save("title_to_play");
  EXPECT_FALSE(start().hot);
  EXPECT_FALSE(end().hot);
}

TEST_F(Title, EveryVisitToThePlaySceneRebuildsTheHundredBlocks) {
  t.EnterPlay();
  BlockSet& set = t.world().blockSet;
  set.At(0)->PlaceAt({50, 50, 50});
  const Vec3 first_visit = set.At(99)->centre;
  // Leave through the door, then start again.
  t.Click(40, 430);
  while (t.current() != &t.title()) t.NextFrame();
  t.Move(600, 460);
  t.NextFrame();
  t.Click(150, 370);
  t.Frames(12);
  ASSERT_EQ(t.current(), &t.play());
  EXPECT_EQ(set.Count(), 100);
  EXPECT_LT(set.At(0)->centre.z, 2.0f) << "the moved block stands in its tower again";
  EXPECT_NE(set.At(99)->centre, first_visit) << "new jitter from the random generator";
  EXPECT_EQ(set.At(0)->faces[1].link, &set.At(1)->faces[0]);
  EXPECT_EQ(set.settleCheck, 0);
}

TEST_F(Title, AfterThePlaySceneTheButtonsAreTranslucentAndACursorOverOneSoundsAtOnce) {
  t.EnterPlay();
  t.Click(40, 430);
  t.Move(150, 370);  // waiting over where the start button will be
  while (t.current() != &t.title()) t.NextFrame();
  t.platform().ClearSounds();
  t.NextFrame();
  EXPECT_TRUE(start().hot);
  EXPECT_EQ(t.platform().CountSound("data/select.wav"), 1);
  t.Move(600, 460);
  t.NextFrame();
  EXPECT_FALSE(start().hot);
  EXPECT_FALSE(end().hot);
}

TEST_F(Title, EndPlaysItsSoundThenAfterTwoSecondsTheProgramEndsWithoutAnotherFrame) {
  t.Click(450, 370);
  ASSERT_EQ(t.platform().CountSound("data/end.wav"), 1);
  const uint32_t clicked = t.platform().SoundsPlayed().back().time_ms;
  int frames = t.platform().FramesPresented();
  while (t.app().Running() && !t.quit()) t.NextFrame();
  // Nine countdown frames follow the release frame; the eleventh update acts.
  EXPECT_EQ(t.platform().FramesPresented(), frames + 9);
  EXPECT_NEAR(double(t.platform().TimeMs() - clicked), 231 + 2000, 21);
  t.NextFrame();
  EXPECT_TRUE(t.quit());
  EXPECT_EQ(t.platform().FramesPresented(), frames + 9);
  EXPECT_FALSE(t.platform().WindowOpen());
}

TEST_F(Title, ALostDeviceResetsTheSpritesAndTheTitleIsDrawnAgain) {
  const std::vector<uint32_t> before = t.platform().LastFrame();
  t.app().Graphics().Device()->InjectDeviceLoss();
  t.NextFrame();
  t.NextFrame();
  EXPECT_FALSE(t.world().startButton->GetSprite()->IsLost());
  EXPECT_FALSE(t.world().titlePicture->GetSprite()->IsLost());
  EXPECT_EQ(t.platform().LastFrame(), before);
}

}  // namespace

namespace {

// Only the strips beside the opaque title picture are cleared: whatever the back buffer held
// before, the frame is the one drawn over white; a picture with a see-through texel is drawn
// over a whole clear again.
TEST_F(Title, TheFrameOverAnyOldPictureIsTheFrameOverWhite) {
  t.app().Graphics().SetFrameReuse(false);
  TitlePicture& title = *t.world().titlePicture;
  ASSERT_TRUE(title.Opaque());
  auto* back = t.app().Graphics().Device()->GetBackBuffer();
  auto frame_over = [&](uint32_t old) {
    std::fill(back->Pixels(), back->Pixels() + 640 * 480, old);
    t.NextFrame();
    return t.platform().LastFrame();
  };
  const std::vector<uint32_t> over_white = frame_over(0xFFFFFF);
  EXPECT_TRUE(frame_over(0x123456) == over_white);
  title.picture.Texture()->MutableTexels()[5] &= 0x00FFFFFF;
  EXPECT_FALSE(title.Opaque());
  const std::vector<uint32_t> see_through = frame_over(0xFFFFFF);
  EXPECT_TRUE(frame_over(0x123456) == see_through);
  EXPECT_EQ(see_through[(title.picture.Texture()->Width() - 640) / -2 + 5], 0xFFFFFFu)
      << "the clear shows through the texel";
}

}  // namespace
