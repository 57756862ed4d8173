// The software Direct3D 9 stand-in: fixed-function state, transforms, a textured-fan rasterizer, a
// lockable 640x480 back buffer, Present with device loss, and Reset.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/platform.h"
#include "platform/render/surface.h"
#include "platform/render/texture.h"
#include "platform/render/types.h"

namespace platform::render {

class Sprite;

class RenderDevice {
 public:
  RenderDevice(Presenter* presenter, const PresentParameters& params);
  ~RenderDevice();

  void SetRenderState(RenderState state, uint32_t value) { render_states_[int(state)] = value; }
  uint32_t GetRenderState(RenderState state) const { return render_states_[int(state)]; }
  void SetTextureStageState(int stage, TextureStageState state, uint32_t value);
  void SetSamplerState(int sampler, SamplerState state, uint32_t value);
  void SetTransform(TransformType type, const Matrix& m);
  void GetTransform(TransformType type, Matrix* out) const;
  void SetViewport(const Viewport& viewport) { viewport_ = viewport; }
  void GetViewport(Viewport* out) const { *out = viewport_; }
  void SetTexture(int stage, const Texture* texture);
  void SetFVF(uint32_t fvf) { fvf_ = fvf; }
  void ShowCursor(bool /*show*/) {}

  // Fills the target and/or depth buffer (flags kClearTarget | kClearZBuffer).
  void Clear(uint32_t flags, uint32_t color, float z, uint32_t stencil);
  // The same inside rectangles only (clipped to the buffers), like Clear with a rectangle list.
  void Clear(const Rect* rects, int count, uint32_t flags, uint32_t color, float z);
  bool BeginScene();
  void EndScene() { in_scene_ = false; }
  // Triangle fans of Vertex records (stride must be 24).
  Result DrawPrimitiveUP(PrimitiveType type, int primitive_count, const Vertex* vertices,
                         int stride);

  Surface* GetBackBuffer() { return back_buffer_.get(); }
  DepthSurface* GetDepthStencilSurface() { return depth_.get(); }

  // Shows the back buffer; kDeviceLost when the presentation layer lost its renderer.
  Result Present();
  // kOk, kDeviceLost while the loss persists, kDeviceNotReset once Reset may succeed.
  Result TestCooperativeLevel() const;
  // Rebuilds the buffers and returns every state to its default.
  Result Reset(const PresentParameters& params);

  Result CreateTexture(int width, int height, std::unique_ptr<Texture>* out);
  Result CreateSprite(std::unique_ptr<Sprite>* out);

  // Test hooks: the next Present reports a loss; the loss holds until released; Reset fails.
  void InjectDeviceLoss() { inject_loss_ = true; }
  void HoldLoss(bool hold) { hold_loss_ = hold; }
  void FailResets(Result code, int times) {
    reset_failure_ = code;
    reset_failures_left_ = times;
  }
  bool IsLost() const { return lost_; }

 private:
  void SetDefaults();
  // Cuts the triangle to the guard band (guard_band.h), then fills what is left.
  void DrawTriangle(const struct ScreenVertex& a, const struct ScreenVertex& b,
                    const struct ScreenVertex& c);
  // Edge functions in fixed point over a triangle inside the guard band.
  void FillTriangle(const struct ScreenVertex& a, const struct ScreenVertex& b,
                    const struct ScreenVertex& c);

  Presenter* presenter_;
  PresentParameters params_;
  std::unique_ptr<Surface> back_buffer_;
  std::unique_ptr<DepthSurface> depth_;
  uint32_t render_states_[int(RenderState::kCount)] = {};
  uint32_t stage_states_[int(TextureStageState::kCount)] = {};
  uint32_t sampler_states_[int(SamplerState::kCount)] = {};
  Matrix world_ = Matrix::Identity();
  Matrix view_ = Matrix::Identity();
  Matrix projection_ = Matrix::Identity();
  Viewport viewport_;
  const Texture* texture_ = nullptr;
  uint32_t fvf_ = 0;
  bool in_scene_ = false;
  bool lost_ = false;
  bool inject_loss_ = false;
  bool hold_loss_ = false;
  Result reset_failure_ = Result::kOk;
  int reset_failures_left_ = 0;
};

// The Direct3D object: makes devices of a type and a vertex processing. A test may refuse some.
class RenderSystem {
 public:
  explicit RenderSystem(Presenter* presenter) : presenter_(presenter) {}
  using Filter = std::function<bool(DeviceType, VertexProcessing)>;
  void SetAvailable(Filter filter) { available_ = std::move(filter); }

  Result CreateDevice(DeviceType type, VertexProcessing processing, const PresentParameters& params,
                      std::unique_ptr<RenderDevice>* out);
  // Every combination asked for, in order.
  const std::vector<std::pair<DeviceType, VertexProcessing>>& Attempts() const { return attempts_; }

 private:
  Presenter* presenter_;
  Filter available_;
  std::vector<std::pair<DeviceType, VertexProcessing>> attempts_;
};

}  // namespace platform::render
