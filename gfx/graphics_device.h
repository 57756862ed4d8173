// The graphics device for the single 640x480 window: creation with its fallback order, the fixed
// default state and camera, and recovery from device loss.
#pragma once

#include <memory>

#include "app/object_list.h"
#include "gfx/device_resource.h"
#include "gfx/frame_key.h"
#include "platform/platform.h"
#include "platform/render/render_device.h"

class GraphicsDevice {
 public:
  GraphicsDevice() = default;
  ~GraphicsDevice();
  GraphicsDevice(const GraphicsDevice&) = delete;
  GraphicsDevice& operator=(const GraphicsDevice&) = delete;

  bool Create(platform::Platform* platform, int width, int height, bool windowed);
  virtual void SetDefaultStates();
  // Full reset with resource notifications; a failure shows its message (once per kind of failure
  // until a reset succeeds) and returns false.
  bool Reset();
  // Reset, then the 2D projection and viewport; always true.
  bool ResetAndSetView();
  void Release();
  // After Present: on a loss that may now be reset, Reset and, when that worked, ResetAndSetView.
  void RecoverAfterPresent(platform::render::Result present_result);

  // Frames that cannot differ from the last one shown: true when the back buffer still holds
  // the picture of the last presented frame and that frame's key equals this one (the scene
  // then only presents again). Counted in FramesReused.
  bool CanReuseFrame(const FrameKey& key);
  // Present and RecoverAfterPresent; the key of a frame that was shown is kept for the next
  // CanReuseFrame (taken from the caller, whose key is left holding old bytes), a frame that was
  // not shown (device lost) leaves none.
  void PresentFrame(FrameKey& key);
  // Off: every frame is drawn whole, as the tests that compare both ways need.
  void SetFrameReuse(bool reuse) { frame_reuse_ = reuse; }
  // The back buffer no longer holds the last presented picture (something else was drawn there).
  void ForgetShownFrame() { shown_key_.Clear(); }
  bool FrameReuse() const { return frame_reuse_; }
  int FramesReused() const { return frames_reused_; }

  platform::render::RenderDevice* Device() const { return device_.get(); }
  platform::render::RenderSystem* System() const { return system_.get(); }
  platform::render::Surface* BackBuffer() const { return back_buffer_; }
  platform::render::DepthSurface* DepthStencil() const { return depth_stencil_; }
  ObjectList<DeviceResource>& Resources() { return resources_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  platform::Platform* platform_ = nullptr;
  std::unique_ptr<platform::render::RenderSystem> system_;
  std::unique_ptr<platform::render::RenderDevice> device_;
  platform::render::Surface* back_buffer_ = nullptr;         // the device's; kept between resets
  platform::render::DepthSurface* depth_stencil_ = nullptr;  // the device's; kept between resets
  platform::render::PresentParameters params_;
  ObjectList<DeviceResource> resources_;  // not owned
  int width_ = 0;
  int height_ = 0;
  // The failure whose box was last shown, so that a reset failing the same way frame after frame
  // does not bury the screen in boxes; cleared by a reset that works.
  platform::render::Result shown_failure_ = platform::render::Result::kOk;
  // The key of the picture in the back buffer; empty when nothing reusable is there.
  FrameKey shown_key_;
  bool frame_reuse_ = true;
  int frames_reused_ = 0;
};
