#include "gfx/graphics_device.h"

#include "platform/render/d3dx.h"

namespace r = platform::render;

GraphicsDevice::~GraphicsDevice() {
  Release();
}

bool GraphicsDevice::Create(platform::Platform* platform, int width, int height, bool windowed) {
  platform_ = platform;
  system_ = platform->CreateRenderSystem();
  if (!system_) return false;
  params_ = r::PresentParameters();
  width_ = width;
  height_ = height;
  params_.windowed = windowed;
  params_.auto_depth_stencil = true;
  params_.lockable_back_buffer = true;  // the play scene draws into the back buffer
  if (!windowed) {
    params_.back_buffer_width = width;
    params_.back_buffer_height = height;
    params_.back_buffer_count = 1;
    params_.presentation_interval = 1;
  }
  for (r::DeviceType type : {r::DeviceType::kHal, r::DeviceType::kRef, r::DeviceType::kSoftware}) {
    for (r::VertexProcessing processing :
         {r::VertexProcessing::kHardware, r::VertexProcessing::kMixed,
          r::VertexProcessing::kSoftware}) {
      if (system_->CreateDevice(type, processing, params_, &device_) == r::Result::kOk) {
        SetDefaultStates();
        ResetAndSetView();
        return true;
      }
    }
  }
  platform::SetLastError("no graphics device is available to draw with");
  return false;
}

void GraphicsDevice::SetDefaultStates() {
  r::RenderDevice* d = device_.get();
  d->SetRenderState(r::RenderState::kZEnable, 1);
  d->SetRenderState(r::RenderState::kZWriteEnable, 1);
  d->SetRenderState(r::RenderState::kAlphaRef, 0);
  d->SetRenderState(r::RenderState::kAlphaFunc, r::value::kCmpGreater);
  d->SetRenderState(r::RenderState::kLighting, 0);
  d->SetRenderState(r::RenderState::kCullMode, r::value::kCullCounterClockwise);
  d->SetRenderState(r::RenderState::kMultisampleAntialias, 1);
  d->SetRenderState(r::RenderState::kMultisampleMask, 0x7FFFFFFF);
  // Eye at (0, 0, 80) looking at the origin: view x is world -x, depth is 80 - world z.
  d->SetTransform(r::TransformType::kView,
                  r::MatrixLookAtLH({0.0f, 0.0f, 80.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}));
  d->SetTexture(0, nullptr);
  d->SetTextureStageState(0, r::TextureStageState::kColorOp, r::value::kTopModulate);
  d->SetTextureStageState(0, r::TextureStageState::kColorArg1, r::value::kTaTexture);
  d->SetTextureStageState(0, r::TextureStageState::kColorArg2, r::value::kTaDiffuse);
  d->SetTextureStageState(0, r::TextureStageState::kAlphaOp, r::value::kTopDisable);
  d->SetTextureStageState(0, r::TextureStageState::kAlphaArg1, r::value::kTaTexture);
  d->SetSamplerState(0, r::SamplerState::kMinFilter, r::value::kFilterNone);
  d->SetSamplerState(0, r::SamplerState::kMagFilter, r::value::kFilterNone);
  d->SetSamplerState(0, r::SamplerState::kMipFilter, r::value::kFilterNone);
}

bool GraphicsDevice::Reset() {
  shown_key_.Clear();  // the buffers are made anew
  for (int i = 0; i < resources_.Count(); ++i) resources_.At(i)->OnLostDevice(this);
  back_buffer_ = nullptr;
  depth_stencil_ = nullptr;
  r::Result result = device_->Reset(params_);
  if (result != r::Result::kOk) {
    const char* text = nullptr;
    switch (result) {
      case r::Result::kDeviceLost:
        text = "D3DERR_DEVICELOST\n";
        break;
      case r::Result::kDriverInternalError:
        text = "D3DERR_DRIVERINTERNALERROR\n";
        break;
      case r::Result::kInvalidCall:
        text = "D3DERR_INVALIDCALL\n";
        break;
      case r::Result::kOutOfVideoMemory:
        text = "D3DERR_OUTOFVIDEOMEMORY\n";
        break;
      case r::Result::kOutOfMemory:
        text = "E_OUTOFMEMORY\n";
        break;
      default:
        break;
    }
    if (text && result != shown_failure_) platform_->ShowMessageBox(text, "Zentrova");
    shown_failure_ = result;
    return false;
  }
  shown_failure_ = r::Result::kOk;
  SetDefaultStates();
  back_buffer_ = device_->GetBackBuffer();
  if (!back_buffer_) return false;
  depth_stencil_ = device_->GetDepthStencilSurface();
  if (!depth_stencil_) return false;
  for (int i = 0; i < resources_.Count(); ++i) resources_.At(i)->OnResetDevice(this);
  return true;
}

bool GraphicsDevice::ResetAndSetView() {
  params_.back_buffer_width = width_;
  params_.back_buffer_height = height_;
  Reset();
  device_->SetTransform(r::TransformType::kProjection,
                        r::MatrixOrthoLH(float(width_), float(height_), -1000.0f, 1000.0f));
  device_->SetViewport({0, 0, uint32_t(width_), uint32_t(height_), 0.0f, 1.0f});
  return true;
}

void GraphicsDevice::Release() {
  shown_key_.Clear();
  back_buffer_ = nullptr;
  depth_stencil_ = nullptr;
  resources_.RemoveAll();
  device_.reset();
  system_.reset();
}

void GraphicsDevice::RecoverAfterPresent(r::Result present_result) {
  if (present_result == r::Result::kDeviceLost &&
      device_->TestCooperativeLevel() == r::Result::kDeviceNotReset) {
    // A failed reset has shown its box; a second attempt in the same frame would only fail again.
    if (Reset()) ResetAndSetView();
  }
}

bool GraphicsDevice::CanReuseFrame(const FrameKey& key) {
  if (!frame_reuse_ || key.Empty() || shown_key_.Empty() || !(key == shown_key_)) return false;
  ++frames_reused_;
  return true;
}

void GraphicsDevice::PresentFrame(FrameKey& key) {
  const r::Result result = device_->Present();
  if (result == r::Result::kOk)
    shown_key_.Swap(key);
  else
    shown_key_.Clear();
  RecoverAfterPresent(result);
}
