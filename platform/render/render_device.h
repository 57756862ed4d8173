// The software Direct3D 9 stand-in: fixed-function state, transforms, a textured-fan rasterizer, a
// lockable 640x480 back buffer, Present with device loss, and Reset.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/platform.h"
#include "platform/render/guard_band.h"
#include "platform/render/surface.h"
#include "platform/render/texture.h"
#include "platform/render/types.h"

namespace platform::render {

class DepthTiles;

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
  // Triangles drawn inside a scene are kept, with the states they were drawn with, and filled in
  // at EndScene. A caller may instead fill them itself in bands of rows, two threads at once
  // (FillRows), and then end the scene with EndScene(true). Outside a scene they are filled at
  // once.
  bool BeginScene();
  void EndScene(bool filled_by_rows = false);
  // Fills the scene's triangles into rows [first_row, end_row) only, in the order they were
  // drawn. Calls for rows that do not overlap may run at the same time. In a scene of at least
  // SkipHiddenFrom triangles (few hide one another in smaller ones), a triangle whose every depth
  // lies behind the depth already under it, so that it could change no pixel, is passed over;
  // HiddenSkipped counts those. In a scene of at least NearestFirstFrom triangles, too, the
  // nearest are filled first, so that more of those behind them are passed over; the pixels come
  // out as in drawing order.
  void FillRows(int first_row, int end_row) const;
  void SetSkipHidden(bool skip) { skip_hidden_from_ = skip ? kSkipHiddenFrom : SIZE_MAX; }
  void SetSkipHiddenFrom(size_t triangles) { skip_hidden_from_ = triangles; }
  void SetNearestFirstFrom(size_t triangles) { nearest_first_from_ = triangles; }
  uint64_t HiddenSkipped() const { return hidden_skipped_.load(std::memory_order_relaxed); }
  // Fills the triangles kept so far, before something else (a clear, a sprite) draws over them.
  void FillSceneSoFar();
  // A picture to clear to, in the back buffer's format, `pitch` words a row. A row whose
  // `row_colours` entry is a colour (0x00RRGGBB) is all that colour; other entries say the row
  // differs along its length.
  struct Background {
    const uint32_t* pixels = nullptr;
    int width = 0, height = 0, pitch = 0;
    const uint32_t* row_colours = nullptr;
  };
  // Rows [first_row, end_row) of the depth buffer to z and of the back buffer to the background,
  // white where it has no pixels, for a caller working in bands of rows beside FillRows: the
  // scene's kept triangles are left as they are.
  void ClearRowsTo(int first_row, int end_row, const Background& background, float z) const;
  // Triangle fans of Vertex records (stride must be 24).
  Result DrawPrimitiveUP(PrimitiveType type, int primitive_count, const Vertex* vertices,
                         int stride);

  Surface* GetBackBuffer() { return back_buffer_.get(); }
  DepthSurface* GetDepthStencilSurface() { return depth_.get(); }

  // Shows the back buffer; kDeviceLost when the presentation layer lost its renderer.
  Result Present();
  // A frame drawn in bands of rows may be handed over by the bands themselves: after
  // BeginPresentRows returned true, each band passes its finished rows to PresentRows (two
  // threads at once for rows that do not overlap), and the next Present shows what they
  // passed, every row of which must be in by then. False: Present takes the whole back buffer.
  bool BeginPresentRows();
  void PresentRows(int first_row, int end_row) const;
  // Test hook: with false, every frame is handed over whole.
  void SetPresentInRows(bool allow) { rows_allowed_ = allow; }
  // kOk, kDeviceLost while the loss persists, kDeviceNotReset once Reset may succeed.
  Result TestCooperativeLevel() const;
  // Rebuilds the buffers and returns every state to its default.
  Result Reset(const PresentParameters& params);

  Result CreateTexture(int width, int height, std::unique_ptr<Texture>* out);
  // Counts the textures made here and the hand-outs of writable texels of every one of them:
  // unchanged means that no texture was made and no texel of them changed.
  uint64_t TexelWrites() const { return *texel_writes_; }

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
  // The states a triangle is filled with, taken when it is drawn.
  struct FillState {
    const Texture* texture;
    uint32_t cull;
    bool z_test, z_write;
    // The texture's one texel, when all of its texels were the same at the version noted.
    bool uniform = false;
    uint32_t uniform_texel = 0;
    uint64_t texels_version = 0;
  };
  struct KeptTriangle {
    ScreenVertex a, b, c;
    int state;  // index into scene_states_
  };
  // Consecutive kept triangles filled together. Those of any order (depth test and write, one
  // colour, a texture of power-of-two sides, depths well inside the float range) leave the same
  // pixels whatever order they are filled in, ties going to the later drawn; the others are
  // filled alone, in drawing order.
  struct FillGroup {
    uint32_t first, count;
    bool any_order;
    // The least and the greatest y of its vertices (not numbers: in every band).
    float highest_y, lowest_y;
    float nearest;  // its least vertex depth
  };
  bool FillsInAnyOrder(const KeptTriangle& t) const;
  // Puts the triangle just kept into the groups, while it is at hand.
  void GroupKept();
  // Groups the kept triangles not yet grouped, up to `count`; one at a time by Group.
  void GroupUpTo(size_t count) const;
  void Group(uint32_t triangle) const;
  // The scene's kept triangles and their groups dropped; its states stay.
  void ForgetKeptTriangles();
  // The scene's groups, nearest first between the triangles that keep their place; planned by
  // the first fill of the scene that needs it.
  const std::vector<FillGroup>& PlannedFill() const;
  FillState CurrentFillState() const;
  static FillState WithTexelsLookedAt(FillState state);
  // Clears the rectangle, cut to the buffers; the scene's kept triangles are left as they are.
  void ClearRect(const Rect& rect, uint32_t flags, uint32_t color, float z) const;
  // Cuts the triangle to the guard band (guard_band.h), then fills or keeps what is left.
  void DrawTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
  void FillOrKeep(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c);
  // Edge functions in fixed point over a triangle inside the guard band, in rows
  // [first_row, end_row); false when `tiles` showed it hidden, so that it was passed over.
  // `writer`, when not 0, is the triangle's number for a fill out of drawing order: a depth
  // equal to the one held is written only over an earlier number.
  bool FillTriangle(const FillState& state, const ScreenVertex& a, const ScreenVertex& b,
                    const ScreenVertex& c, int first_row, int end_row, DepthTiles* tiles,
                    uint32_t writer) const;
  // Whether every triangle of a group filled in any order lies behind what `tiles` hold in rows
  // [first_row, end_row), so that each would be passed over by FillTriangle's own test.
  bool GroupHidden(const FillGroup& group, int first_row, int end_row, DepthTiles* tiles) const;

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
  // world * view * projection, made again only after one of them was set.
  Matrix combined_ = Matrix::Identity();
  bool combined_stale_ = false;
  Viewport viewport_;
  std::shared_ptr<uint64_t> texel_writes_ = std::make_shared<uint64_t>(0);
  const Texture* texture_ = nullptr;
  uint32_t fvf_ = 0;
  bool in_scene_ = false;
  // About three hundred blocks' faces.
  static constexpr size_t kSkipHiddenFrom = 4096;
  size_t skip_hidden_from_ = kSkipHiddenFrom;
  // Wherever hidden triangles are looked for: the order finds more of them.
  static constexpr size_t kNearestFirstFrom = kSkipHiddenFrom;
  size_t nearest_first_from_ = kNearestFirstFrom;
  mutable std::atomic<uint64_t> hidden_skipped_{0};
  std::vector<FillState> scene_states_;
  std::vector<KeptTriangle> scene_triangles_;
  mutable std::mutex plan_mutex_;
  // The kept triangles cut into groups in drawing order, as they are kept (or by the first plan
  // when the scene is filled nearest first from fewer triangles than before): the first
  // `grouped_` triangles.
  mutable std::vector<FillGroup> kept_groups_;
  mutable size_t grouped_ = 0;
  mutable bool fill_planned_ = false;
  mutable std::vector<FillGroup> fill_plan_;
  mutable std::vector<uint32_t> bucket_starts_;
  // The next triangle number of a fill out of order; kept below 2^31, so that vector lanes
  // compare them signed.
  static constexpr uint32_t kWritersFrom = 1, kWritersUpTo = 1u << 30;
  mutable std::atomic<uint32_t> next_writer_{kWritersFrom};
  bool lost_ = false;
  bool rows_allowed_ = true;
  bool rows_begun_ = false;
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
