#include "platform/render/render_device.h"

#include <algorithm>
#include <cstring>

namespace platform::render {

RenderDevice::RenderDevice(Presenter* presenter, const PresentParameters& params)
    : presenter_(presenter), params_(params) {
  int w = params.back_buffer_width > 0 ? params.back_buffer_width : 640;
  int h = params.back_buffer_height > 0 ? params.back_buffer_height : 480;
  back_buffer_ = std::make_unique<Surface>(w, h);
  depth_ = std::make_unique<DepthSurface>(w, h);
  SetDefaults();
}

RenderDevice::~RenderDevice() = default;

void RenderDevice::SetDefaults() {
  auto rs = [this](RenderState s, uint32_t v) { render_states_[int(s)] = v; };
  rs(RenderState::kZEnable, params_.auto_depth_stencil ? 1 : 0);
  rs(RenderState::kZWriteEnable, 1);
  rs(RenderState::kAlphaRef, 0);
  rs(RenderState::kAlphaFunc, 8);
  rs(RenderState::kLighting, 1);
  rs(RenderState::kCullMode, value::kCullCounterClockwise);
  rs(RenderState::kMultisampleAntialias, 1);
  rs(RenderState::kMultisampleMask, 0xFFFFFFFF);
  stage_states_[int(TextureStageState::kColorOp)] = value::kTopModulate;
  stage_states_[int(TextureStageState::kColorArg1)] = value::kTaTexture;
  stage_states_[int(TextureStageState::kColorArg2)] = 1;  // current
  stage_states_[int(TextureStageState::kAlphaOp)] = 2;    // select arg1
  stage_states_[int(TextureStageState::kAlphaArg1)] = value::kTaTexture;
  sampler_states_[int(SamplerState::kMinFilter)] = 1;
  sampler_states_[int(SamplerState::kMagFilter)] = 1;
  sampler_states_[int(SamplerState::kMipFilter)] = 0;
  world_ = view_ = projection_ = Matrix::Identity();
  combined_stale_ = true;
  viewport_ =
      Viewport{0, 0, uint32_t(back_buffer_->Width()), uint32_t(back_buffer_->Height()), 0, 1};
  texture_ = nullptr;
  fvf_ = 0;
  in_scene_ = false;
  scene_states_.clear();
  ForgetKeptTriangles();
}

void RenderDevice::SetTextureStageState(int stage, TextureStageState state, uint32_t value) {
  if (stage == 0) stage_states_[int(state)] = value;
}

void RenderDevice::SetSamplerState(int sampler, SamplerState state, uint32_t value) {
  if (sampler == 0) sampler_states_[int(state)] = value;
}

void RenderDevice::SetTransform(TransformType type, const Matrix& m) {
  combined_stale_ = true;
  switch (type) {
    case TransformType::kWorld:
      world_ = m;
      break;
    case TransformType::kView:
      view_ = m;
      break;
    case TransformType::kProjection:
      projection_ = m;
      break;
  }
}

void RenderDevice::GetTransform(TransformType type, Matrix* out) const {
  switch (type) {
    case TransformType::kWorld:
      *out = world_;
      break;
    case TransformType::kView:
      *out = view_;
      break;
    case TransformType::kProjection:
      *out = projection_;
      break;
  }
}

void RenderDevice::SetTexture(int stage, const Texture* texture) {
  if (stage == 0) texture_ = texture;
}

void RenderDevice::Clear(uint32_t flags, uint32_t color, float z, uint32_t /*stencil*/) {
  FillSceneSoFar();
  if (flags & kClearTarget) {
    uint32_t* p = back_buffer_->Pixels();
    std::fill(p, p + size_t(back_buffer_->Width()) * back_buffer_->Height(), color & 0x00FFFFFF);
  }
  if (flags & kClearZBuffer) std::fill(depth_->Depth(), depth_->Depth() + depth_->Size(), z);
}

void RenderDevice::Clear(const Rect* rects, int count, uint32_t flags, uint32_t color, float z) {
  FillSceneSoFar();
  for (int i = 0; i < count; ++i) ClearRect(rects[i], flags, color, z);
}

void RenderDevice::ClearRect(const Rect& rect, uint32_t flags, uint32_t color, float z) const {
  const int width = back_buffer_->Width(), height = back_buffer_->Height();
  const int left = std::clamp(rect.left, 0, width);
  const int right = std::clamp(rect.right, left, width);
  const int top = std::clamp(rect.top, 0, height);
  const int bottom = std::clamp(rect.bottom, top, height);
  for (int y = top; y < bottom; ++y) {
    const size_t row = size_t(y) * width;
    if (flags & kClearTarget)
      std::fill(back_buffer_->Pixels() + row + left, back_buffer_->Pixels() + row + right,
                color & 0x00FFFFFF);
    if (flags & kClearZBuffer)
      std::fill(depth_->Depth() + row + left, depth_->Depth() + row + right, z);
  }
}

bool RenderDevice::BeginScene() {
  if (in_scene_ || lost_) return false;
  in_scene_ = true;
  scene_states_.clear();
  ForgetKeptTriangles();
  // Numbers start again, over a buffer that holds none, long before they could run out.
  if (next_writer_.load(std::memory_order_relaxed) >= kWritersUpTo) {
    depth_->ForgetWriters();
    next_writer_.store(kWritersFrom, std::memory_order_relaxed);
  }
  return true;
}

void RenderDevice::ClearRowsTo(int first_row, int end_row, const Background& background,
                               float z) const {
  const int width = back_buffer_->Width();
  first_row = std::max(first_row, 0);
  end_row = std::min(end_row, back_buffer_->Height());
  const int shown = background.pixels ? std::clamp(background.width, 0, width) : 0;
  for (int y = first_row; y < end_row; ++y) {
    const size_t row = size_t(y) * width;
    std::fill(depth_->Depth() + row, depth_->Depth() + row + width, z);
    uint32_t* pixels = back_buffer_->Pixels() + row;
    int from = 0;
    if (shown > 0 && y < background.height) {
      const uint32_t colour = background.row_colours ? background.row_colours[y] : 0xFF000000u;
      // A row of one colour is filled: nothing to read.
      if (colour <= 0x00FFFFFFu)
        std::fill(pixels, pixels + shown, colour);
      else
        std::memcpy(pixels, background.pixels + size_t(y) * background.pitch, size_t(shown) * 4);
      from = shown;
    }
    std::fill(pixels + from, pixels + width, 0x00FFFFFFu);
  }
}

void RenderDevice::FillSceneSoFar() {
  if (scene_triangles_.empty()) return;
  FillRows(0, back_buffer_->Height());
  ForgetKeptTriangles();
}

void RenderDevice::EndScene(bool filled_by_rows) {
  if (!in_scene_) return;
  if (!filled_by_rows) FillRows(0, back_buffer_->Height());
  in_scene_ = false;
  scene_states_.clear();
  ForgetKeptTriangles();
}

bool RenderDevice::BeginPresentRows() {
  rows_begun_ = rows_allowed_ && !lost_ && !inject_loss_ &&
                presenter_->BeginFrameRows(back_buffer_->Width(), back_buffer_->Height());
  return rows_begun_;
}

void RenderDevice::PresentRows(int first_row, int end_row) const {
  if (rows_begun_)
    presenter_->PresentRows(back_buffer_->Pixels(), back_buffer_->PitchPixels(), first_row,
                            end_row);
}

Result RenderDevice::Present() {
  const bool gathered = rows_begun_;
  rows_begun_ = false;
  if (inject_loss_) {
    inject_loss_ = false;
    lost_ = true;
  }
  if (lost_) return Result::kDeviceLost;
  if (gathered ? !presenter_->PresentGathered()
               : !presenter_->PresentFrame(back_buffer_->Pixels(), back_buffer_->Width(),
                                           back_buffer_->Height(), back_buffer_->PitchPixels())) {
    lost_ = true;
    return Result::kDeviceLost;
  }
  return Result::kOk;
}

Result RenderDevice::TestCooperativeLevel() const {
  if (!lost_) return Result::kOk;
  // "May be reset now" only when a reset can succeed: saying so earlier would have every frame
  // try, fail and report it for as long as the presentation stays lost.
  if (hold_loss_ || !presenter_->PresentationRestorable()) return Result::kDeviceLost;
  return Result::kDeviceNotReset;
}

Result RenderDevice::Reset(const PresentParameters& params) {
  if (reset_failures_left_ > 0) {
    --reset_failures_left_;
    return reset_failure_;
  }
  if (hold_loss_ || !presenter_->RestorePresentation()) return Result::kDeviceLost;
  params_ = params;
  int w = params.back_buffer_width > 0 ? params.back_buffer_width : 640;
  int h = params.back_buffer_height > 0 ? params.back_buffer_height : 480;
  rows_begun_ = false;  // the rows handed over were of the old buffer
  back_buffer_ = std::make_unique<Surface>(w, h);
  depth_ = std::make_unique<DepthSurface>(w, h);
  SetDefaults();
  lost_ = false;
  return Result::kOk;
}

Result RenderDevice::CreateTexture(int width, int height, std::unique_ptr<Texture>* out) {
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return Result::kInvalidCall;
  *out = std::make_unique<Texture>(width, height, texel_writes_);
  // New texels: a picture drawn from a texture made since may differ wherever it shows.
  ++*texel_writes_;
  return Result::kOk;
}

Result RenderSystem::CreateDevice(DeviceType type, VertexProcessing processing,
                                  const PresentParameters& params,
                                  std::unique_ptr<RenderDevice>* out) {
  attempts_.emplace_back(type, processing);
  if (available_ && !available_(type, processing)) return Result::kNotAvailable;
  *out = std::make_unique<RenderDevice>(presenter_, params);
  return Result::kOk;
}

}  // namespace platform::render
