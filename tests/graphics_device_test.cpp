// The graphics device: creation order, the fixed camera, reset messages and device loss.
#include "gfx/graphics_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>

#include "platform/headless/headless_platform.h"
#include "test_app.h"

namespace r = platform::render;

namespace {

TEST(GraphicsDevice, WithoutAHardwareDeviceTheReferenceOneIsTriedWithEachVertexProcessing) {
  platform::HeadlessPlatform p;
  p.SetDeviceFilter([](r::DeviceType type, r::VertexProcessing processing) {
    return type == r::DeviceType::kRef && processing == r::VertexProcessing::kSoftware;
  });
  GraphicsDevice g;
  ASSERT_TRUE(g.Create(&p, 640, 480, false));
  using T = r::DeviceType;
  using V = r::VertexProcessing;
  const std::vector<std::pair<T, V>> expected = {{T::kHal, V::kHardware}, {T::kHal, V::kMixed},
                                                 {T::kHal, V::kSoftware}, {T::kRef, V::kHardware},
                                                 {T::kRef, V::kMixed},    {T::kRef, V::kSoftware}};
  EXPECT_EQ(g.System()->Attempts(), expected);
}

TEST(GraphicsDevice, NoDeviceAtAllFailsAfterAllNineAndReleaseIsSafeTwice) {
  platform::HeadlessPlatform p;
  p.SetDeviceFilter([](r::DeviceType, r::VertexProcessing) { return false; });
  GraphicsDevice g;
  EXPECT_FALSE(g.Create(&p, 640, 480, false));
  EXPECT_EQ(g.System()->Attempts().size(), 9u);
  g.Release();
  g.Release();
  EXPECT_EQ(g.Device(), nullptr);
}

TEST(GraphicsDevice, CreateSetsTheFixedCameraAndA640By480BackBufferInBothModes) {
  for (bool windowed : {false, true}) {
    platform::HeadlessPlatform p;
    GraphicsDevice g;
    ASSERT_TRUE(g.Create(&p, 640, 480, windowed));
    r::Matrix view, projection;
    g.Device()->GetTransform(r::TransformType::kView, &view);
    g.Device()->GetTransform(r::TransformType::kProjection, &projection);
    r::Matrix expected_view = r::Matrix::Identity();
    expected_view.m[0][0] = -1;
    expected_view.m[2][2] = -1;
    expected_view.m[3][2] = 80;
    EXPECT_EQ(view, expected_view);
    EXPECT_FLOAT_EQ(projection.m[0][0], 2.0f / 640);
    EXPECT_FLOAT_EQ(projection.m[1][1], 2.0f / 480);
    EXPECT_FLOAT_EQ(projection.m[2][2], 1.0f / 2000);
    EXPECT_FLOAT_EQ(projection.m[3][2], 0.5f);
    r::Viewport viewport;
    g.Device()->GetViewport(&viewport);
    EXPECT_EQ(viewport, (r::Viewport{0, 0, 640, 480, 0.0f, 1.0f}));
    ASSERT_NE(g.BackBuffer(), nullptr);
    EXPECT_EQ(g.BackBuffer()->Width(), 640);
    EXPECT_EQ(g.BackBuffer()->Height(), 480);
    EXPECT_EQ(g.Device()->GetRenderState(r::RenderState::kCullMode),
              r::value::kCullCounterClockwise);
    EXPECT_EQ(g.Device()->GetRenderState(r::RenderState::kLighting), 0u);
  }
}

TEST(GraphicsDevice, TransformsAndViewportReadBackExactlyWhatWasSet) {
  platform::HeadlessPlatform p;
  GraphicsDevice g;
  ASSERT_TRUE(g.Create(&p, 640, 480, false));
  r::Matrix m;
  for (int i = 0; i < 16; ++i) m.m[i / 4][i % 4] = 0.1f * float(i) - 0.7f;
  for (auto type :
       {r::TransformType::kWorld, r::TransformType::kView, r::TransformType::kProjection}) {
    g.Device()->SetTransform(type, m);
    r::Matrix back;
    g.Device()->GetTransform(type, &back);
    EXPECT_EQ(back, m);
  }
  const r::Viewport viewport{3, 4, 100, 50, 0.25f, 0.75f};
  g.Device()->SetViewport(viewport);
  r::Viewport back;
  g.Device()->GetViewport(&back);
  EXPECT_EQ(back, viewport);
}

struct ResetText {
  r::Result code;
  const char* text;
};

void PrintTo(const ResetText& reset, std::ostream* os) {
  *os << std::string(reset.text, std::strlen(reset.text) - 1);
}

class FailedReset : public testing::TestWithParam<ResetText> {};

TEST_P(FailedReset, ShowsItsTextAndResetAndSetViewStillSetsTheView) {
  platform::HeadlessPlatform p;
  GraphicsDevice g;
  ASSERT_TRUE(g.Create(&p, 640, 480, false));
  g.Device()->FailResets(GetParam().code, 1);
  EXPECT_FALSE(g.Reset());
  ASSERT_EQ(p.MessageBoxes().size(), 1u);
  EXPECT_EQ(p.MessageBoxes()[0], GetParam().text);
  EXPECT_EQ(g.BackBuffer(), nullptr);

  g.Device()->FailResets(GetParam().code, 1);
  g.Device()->SetTransform(r::TransformType::kProjection, r::Matrix::Identity());
  EXPECT_TRUE(g.ResetAndSetView());
  r::Matrix projection;
  g.Device()->GetTransform(r::TransformType::kProjection, &projection);
  EXPECT_FLOAT_EQ(projection.m[0][0], 2.0f / 640);
}

INSTANTIATE_TEST_SUITE_P(
    FiveTexts, FailedReset,
    testing::Values(ResetText{r::Result::kDeviceLost, "D3DERR_DEVICELOST\n"},
                    ResetText{r::Result::kDriverInternalError, "D3DERR_DRIVERINTERNALERROR\n"},
                    ResetText{r::Result::kInvalidCall, "D3DERR_INVALIDCALL\n"},
                    ResetText{r::Result::kOutOfVideoMemory, "D3DERR_OUTOFVIDEOMEMORY\n"},
                    ResetText{r::Result::kOutOfMemory, "E_OUTOFMEMORY\n"}),
    [](const testing::TestParamInfo<ResetText>& info) {
      std::string name = info.param.text;
      name.pop_back();  // the line break
      return name;
    });

TEST(GraphicsDevice, AnyOtherResetFailureShowsNothing) {
  platform::HeadlessPlatform p;
  GraphicsDevice g;
  ASSERT_TRUE(g.Create(&p, 640, 480, false));
  g.Device()->FailResets(r::Result::kFail, 1);
  EXPECT_FALSE(g.Reset());
  EXPECT_TRUE(p.MessageBoxes().empty());
}

// Counts the notifications a device-dependent object receives.
struct CountingResource : DeviceResource {
  int lost = 0, reset = 0;
  bool OnLostDevice(GraphicsDevice*) override { return ++lost, true; }
  bool OnResetDevice(GraphicsDevice*) override { return ++reset, true; }
};

TEST(DeviceLoss, APresentThatLosesTheDeviceResetsItAndDrawingGoesOn) {
  TestApp t;
  t.NextFrame();
  CountingResource counter;
  GraphicsDevice& g = t.app().Graphics();
  g.Resources().Add(&counter);
  g.Device()->InjectDeviceLoss();
  int frames = t.platform().FramesPresented();
  t.app().Frame();  // due at once; this frame's Present is lost and the protocol resets
  EXPECT_EQ(t.platform().FramesPresented(), frames);
  EXPECT_EQ(counter.lost, 2) << "Reset, then ResetAndSetView's own Reset";
  EXPECT_EQ(counter.reset, 2);
  EXPECT_FALSE(g.Device()->IsLost());
  t.NextFrame();
  EXPECT_EQ(t.platform().FramesPresented(), frames + 1);
  EXPECT_EQ(t.Pixel(0, 479), 0xFFFFFFu) << "the title is drawn again";
  g.Resources().RemoveAt(g.Resources().Find(&counter));
}

// A frame handed over in rows shows once Present comes, the frame before it until then; a loss
// at that Present drops the rows, and with rows switched off nothing is begun.
TEST(DeviceLoss, AFrameHandedOverInRowsShowsOnlyAtAPresentThatSucceeds) {
  TestApp t;
  t.NextFrame();
  r::RenderDevice* device = t.app().Graphics().Device();
  uint32_t* pixels = device->GetBackBuffer()->Pixels();
  const size_t count = size_t(640) * 480;
  auto hand_over = [&](uint32_t colour) {
    std::fill(pixels, pixels + count, colour);
    EXPECT_TRUE(device->BeginPresentRows());
    device->PresentRows(300, 480);
    device->PresentRows(0, 300);
  };
  const std::vector<uint32_t> before = t.platform().LastFrame();
  const int frames = t.platform().FramesPresented();
  hand_over(0x00ABCDEF);
  EXPECT_EQ(t.platform().LastFrame(), before) << "nothing shows before Present";
  EXPECT_EQ(device->Present(), r::Result::kOk);
  EXPECT_EQ(t.platform().FramesPresented(), frames + 1);
  EXPECT_EQ(t.platform().LastFrame(), std::vector<uint32_t>(count, 0x00ABCDEF));

  hand_over(0x00123456);
  device->InjectDeviceLoss();
  EXPECT_EQ(device->Present(), r::Result::kDeviceLost);
  EXPECT_EQ(t.platform().LastFrame(), std::vector<uint32_t>(count, 0x00ABCDEF));
  EXPECT_FALSE(device->BeginPresentRows()) << "a lost device takes no rows";
  t.NextFrame();  // the reset, which makes the buffers anew
  device = t.app().Graphics().Device();
  pixels = device->GetBackBuffer()->Pixels();
  ASSERT_FALSE(device->IsLost());

  t.platform().SetPresentationLost(true);
  EXPECT_FALSE(device->BeginPresentRows());
  t.platform().SetPresentationLost(false);
  device->SetPresentInRows(false);
  EXPECT_FALSE(device->BeginPresentRows());
  std::fill(pixels, pixels + count, 0x00654321);
  EXPECT_EQ(device->Present(), r::Result::kOk) << "whole, as before";
  EXPECT_EQ(t.platform().LastFrame(), std::vector<uint32_t>(count, 0x00654321));
}

// A clear to a background: the picture's rows where it has them, filled where a row is of one
// colour, copied where not, white past its right and lower edges; the depth set throughout.
TEST(GraphicsDevice, RowsClearedToABackgroundShowItWhereItReaches) {
  TestApp t;
  r::RenderDevice* device = t.app().Graphics().Device();
  const uint32_t picture[2 * 4] = {0x112233, 0x112233, 0x112233, 0x112233,
                                   0x0000FF, 0x00FF00, 0xFF0000, 0x0000FF};
  const uint32_t colours[2] = {0x112233, 0xFF000000};
  // The first row's entry says it is of one colour: the fill, not the picture, decides it.
  const uint32_t first_row_elsewhere[4] = {0xABCDEF, 0xABCDEF, 0xABCDEF, 0xABCDEF};
  r::RenderDevice::Background background{picture, 3, 2, 4, colours};
  std::fill_n(device->GetBackBuffer()->Pixels(), 640 * 480, 0x777777u);
  device->ClearRowsTo(1, 3, background, 0.25f);
  auto pixel = [&](int x, int y) { return device->GetBackBuffer()->Pixels()[y * 640 + x]; };
  auto depth = [&](int x, int y) { return device->GetDepthStencilSurface()->Depth()[y * 640 + x]; };
  EXPECT_EQ(pixel(0, 0), 0x777777u) << "rows outside are left alone";
  EXPECT_EQ(pixel(0, 1), 0x0000FFu);
  EXPECT_EQ(pixel(1, 1), 0x00FF00u);
  EXPECT_EQ(pixel(2, 1), 0xFF0000u);
  EXPECT_EQ(pixel(3, 1), 0xFFFFFFu) << "past the picture's width";
  EXPECT_EQ(pixel(0, 2), 0xFFFFFFu) << "past its height";
  EXPECT_EQ(pixel(639, 2), 0xFFFFFFu);
  EXPECT_EQ(pixel(0, 3), 0x777777u);
  EXPECT_EQ(depth(5, 1), 0.25f);
  EXPECT_EQ(depth(639, 2), 0.25f);
  background.pixels = first_row_elsewhere;
  device->ClearRowsTo(0, 1, background, 1.0f);
  EXPECT_EQ(pixel(0, 0), 0x112233u);
  EXPECT_EQ(pixel(2, 0), 0x112233u);
  EXPECT_EQ(pixel(3, 0), 0xFFFFFFu);
  background.pixels = nullptr;
  device->ClearRowsTo(0, 480, background, 1.0f);
  EXPECT_EQ(pixel(1, 1), 0xFFFFFFu) << "no picture: white";
}

TEST(DeviceLoss, WhileTheDeviceStaysLostNothingIsResetAndFramesAreDropped) {
  TestApp t;
  t.NextFrame();
  GraphicsDevice& g = t.app().Graphics();
  g.Device()->InjectDeviceLoss();
  g.Device()->HoldLoss(true);
  int frames = t.platform().FramesPresented();
  t.Frames(3);
  EXPECT_EQ(t.platform().FramesPresented(), frames);
  EXPECT_TRUE(g.Device()->IsLost());
  g.Device()->HoldLoss(false);
  t.Frames(2);
  EXPECT_FALSE(g.Device()->IsLost());
  EXPECT_GT(t.platform().FramesPresented(), frames);
}

TEST(DeviceLoss, ThePresentationLayerLosingItsRendererIsADeviceLoss) {
  TestApp t;
  t.NextFrame();
  t.platform().SetPresentationLost(true);
  t.app().Frame();
  EXPECT_TRUE(t.app().Graphics().Device()->IsLost()) << "the reset cannot restore it yet";
  t.platform().SetPresentationLost(false);
  int frames = t.platform().FramesPresented();
  t.Frames(2);
  EXPECT_GT(t.platform().FramesPresented(), frames);
}

// Runs n frames' worth of loop passes on the virtual clock, whether or not they present.
void RunFrames(TestApp& t, int n) {
  for (int i = 0; i < n; ++i) {
    t.platform().Advance(21);
    t.app().Frame();
  }
}

TEST(DeviceLoss, ALongLossThatCannotYetBeUndoneShowsNoBoxAndTriesNoReset) {
  TestApp t;
  t.NextFrame();
  CountingResource counter;
  GraphicsDevice& g = t.app().Graphics();
  g.Resources().Add(&counter);
  t.platform().SetPresentationLost(true);
  RunFrames(t, 500);  // ten seconds with the window minimised, say
  EXPECT_TRUE(g.Device()->IsLost());
  EXPECT_EQ(g.Device()->TestCooperativeLevel(), r::Result::kDeviceLost);
  EXPECT_EQ(counter.lost, 0) << "no reset was tried while it could not work";
  EXPECT_TRUE(t.platform().MessageBoxes().empty());

  t.platform().SetPresentationLost(false);
  const int frames = t.platform().FramesPresented();
  RunFrames(t, 3);
  EXPECT_FALSE(g.Device()->IsLost());
  EXPECT_EQ(counter.lost, 2) << "reset once it could be, then the view";
  EXPECT_GT(t.platform().FramesPresented(), frames);
  EXPECT_TRUE(t.platform().MessageBoxes().empty());
  g.Resources().RemoveAt(g.Resources().Find(&counter));
}

TEST(DeviceLoss, AResetThatKeepsFailingShowsOneBoxNotOneAFrameAndANewFailureShowsAgain) {
  TestApp t;
  t.NextFrame();
  GraphicsDevice& g = t.app().Graphics();
  g.Device()->InjectDeviceLoss();
  g.Device()->FailResets(r::Result::kOutOfVideoMemory, 200);
  RunFrames(t, 150);
  ASSERT_EQ(t.platform().MessageBoxes().size(), 1u);
  EXPECT_EQ(t.platform().MessageBoxes()[0], "D3DERR_OUTOFVIDEOMEMORY\n");
  RunFrames(t, 60);  // the failures run out and the device comes back
  EXPECT_FALSE(g.Device()->IsLost());
  EXPECT_EQ(t.platform().MessageBoxes().size(), 1u);

  g.Device()->InjectDeviceLoss();
  g.Device()->FailResets(r::Result::kOutOfVideoMemory, 1);
  RunFrames(t, 3);
  EXPECT_EQ(t.platform().MessageBoxes().size(), 2u) << "a later loss that fails is shown again";
  EXPECT_FALSE(g.Device()->IsLost());
}

}  // namespace
