// The World's blocks and the per-pixel pick buffers: for every pixel of the view, which body and
// face is in front and at what depth, rasterized in software from the device's transforms.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <vector>

#include "app/background_job.h"
#include "app/object_list.h"
#include "blocks/block.h"
#include "blocks/contact_grid.h"
#include "blocks/cursor_ray.h"
#include "blocks/float4.h"
#include "blocks/pair_handout.h"
#include "blocks/pick_buffer.h"
#include "blocks/pick_walk.h"
#include "gfx/frame_key.h"
#include "platform/render/depth_tiles.h"
#include "platform/render/render_device.h"

class GameApp;
class Table;

// A physics-space point on screen: converted to display space, transformed, divided by w.
inline ScreenPoint ProjectToScreen(const Vec3& p, const Mat4& ms) {
  Vec4 v{p.x, p.z, p.y, 1.0f};
  TransformInPlace(v, ms);
  return {v.x / v.w, v.y / v.w, v.z / v.w};
}

// A block's eight corners on screen, four at a time: each lane does ProjectToScreen's very
// operations in its order (w is 1, so its products are the matrix's last row as it stands).
inline void ProjectCornersToScreen(const Vec3 (&corners)[8], const Mat4& ms, ScreenPoint out[8]) {
  using float4::F4;
  for (int half = 0; half < 8; half += 4) {
    const Vec3* c = corners + half;
    // Display space: (x, z, y).
    const F4 x{c[0].x, c[1].x, c[2].x, c[3].x}, y{c[0].z, c[1].z, c[2].z, c[3].z},
        z{c[0].y, c[1].y, c[2].y, c[3].y};
    F4 r[4];
    for (int j = 0; j < 4; ++j)
      r[j] = x * ms.At(0, j) + y * ms.At(1, j) + z * ms.At(2, j) + 1.0f * ms.At(3, j);
    const F4 sx = r[0] / r[3], sy = r[1] / r[3], sz = r[2] / r[3];
    for (int k = 0; k < 4; ++k) out[half + k] = {sx[k], sy[k], sz[k]};
  }
}

class BlockSet : public OwningObjectList<Block> {
 public:
  BlockSet() = default;
  ~BlockSet() override;

  // Stores the arguments, takes the table from the app's World and allocates the buffers.
  bool Initialise(GameApp* app, int buffer_width, int buffer_height);
  // Empties every cell of both buffers.
  void ClearPickBuffers();
  // A new block centred at a display-space point; the result of its Create is not examined.
  // Its faces show the set's blank white texture, made with the first block on the device
  // given (one device for every block of a set).
  Block* AddBlock(const platform::gdi::DeviceContext& dc, platform::render::RenderDevice* device,
                  const SoundManager& sound_manager, const Vec3& centre, const Vec3& block_size);
  Block* AddBlockOwnContext(platform::render::RenderDevice* device,
                            const SoundManager& sound_manager, const Vec3& centre,
                            const Vec3& block_size);
  // Off: blocks made from now on take six face textures of their own at once instead of
  // sharing the blank one until painted; for the tests that compare both ways.
  void SetSharedBlankFaces(bool shared) { blankFace_.SetShared(shared); }
  // Ids after a restore go on from the largest restored one (at most kLargestId).
  void ContinueIdsAfter(uint32_t largest) { nextId_ = largest + 1; }
  // References name blocks by 32-bit signed numbers.
  static constexpr uint32_t kLargestId = 0x7FFFFFFF;
  void ResetGlueState() {
    pendingFace = nullptr;
    groupBlock = nullptr;
  }

  // World x view x projection x viewport, read back from the device.
  Mat4 ScreenMatrix(platform::render::RenderDevice* device) const;
  // Notes the corners and the screen matrix of the picture just drawn, for MovedRows.
  void KeepDrawnCorners(const Mat4& screen) { NoteCorners(&drawn_, screen); }
  // The rows [*first_row, *end_row) of a picture `height` rows high that can differ from the
  // one KeepDrawnCorners noted, because blocks moved since: their triangles before and after,
  // and the outlines of their pick cells. False when the list or the screen matrix changed,
  // too many blocks moved, or a moved block has a corner outside the depth range or far off the
  // screen, whose rows the device's clipping could carry anywhere.
  bool MovedRows(const Mat4& screen, int height, int* first_row, int* end_row) const {
    return MovedRows(drawn_, screen, height, first_row, end_row);
  }
  // Refills the front buffer (excluded null) or the back buffer without the excluded body. The
  // front buffer is left as it is when its inputs (transforms, block list, every corner) are
  // those of its last fill: the fill would give the same cells.
  void RefreshPickBuffer(platform::render::RenderDevice* device, const Block* excluded);
  // Off: every front refresh fills the buffer anew and the edge marks are made whole, as the
  // tests that compare both ways need.
  void SetPickReuse(bool reuse) { pickReuse_ = reuse; }
  // Whether a fill of many blocks (few hide one another among fewer) passes over a block's
  // triangle lying wholly behind the cells already filled; HiddenSkipped counts those.
  void SetSkipHidden(bool skip) { skipHidden_ = skip; }
  uint64_t HiddenSkipped() const { return hiddenSkipped_; }
  int PickFillsSkipped() const { return pickFillsSkipped_; }
  // Front fills made only in the rows of the few blocks that moved.
  int FrontRowRefills() const { return frontRowRefills_; }
  // Bumped whenever the front buffer is filled for inputs (transforms, block list, corners)
  // other than those of its last fill; every play frame's step looks at them before the render.
  uint64_t FrontFills() const { return frontFills_; }
  // Bumped on every change of the block list.
  uint64_t ListVersion() const { return listVersion_; }
  // Scanline fill with interpolated depth and a strict depth test; writes `id` where it wins.
  // With `rows`, rows[y] is also widened to take each span of row y. With `tiles` (the farthest
  // depths of the cells' tiles), a triangle wholly behind what the cells hold is not walked, and
  // false returned.
  bool RasterizeTriangle(PickBuffer* cells, const ScreenPoint& v0, const ScreenPoint& v1,
                         const ScreenPoint& v2, uint32_t body, int face_index, int triangle,
                         PickBuffer::Extent* rows = nullptr,
                         platform::render::DepthTiles* tiles = nullptr, int first_row = 0,
                         int end_row = std::numeric_limits<int>::max()) const;
  // A block's twelve triangles (its corners on screen `s`, its list index i), as
  // RasterizeTriangle takes each; returns how many were passed over as hidden.
  int RasterizeBlock(PickBuffer* cells, const ScreenPoint (&s)[8], int i, PickBuffer::Extent* rows,
                     platform::render::DepthTiles* tiles, int first_row = 0,
                     int end_row = std::numeric_limits<int>::max()) const;
  // The first triangle of a fill: the buffer ends as if emptied, then given the triangle, then
  // (if not null) `next`, three points, as the face's other triangle; but each cell is written
  // once, and `next` is tested row by row while the row is still at hand.
  void FillFirstTriangle(PickBuffer* cells, const ScreenPoint& v0, const ScreenPoint& v1,
                         const ScreenPoint& v2, uint32_t body, int face_index, int triangle,
                         const ScreenPoint* next = nullptr);
  // Marks every pixel whose left or upper neighbour shows another face.
  void MarkOutlines();
  // MarkOutlines, then two-pixel black lines right of and below each mark.
  void DrawOutlines(platform::render::RenderDevice* device, platform::render::Surface* surface);
  // The same in bands of rows, from two threads at once. First, on the thread that queues the
  // refresh, MarkBeforeOutlineRows; then DrawOutlineRows once the work queued so far is done.
  void MarkBeforeOutlineRows();
  void DrawOutlineRows(uint8_t* bits, int pitch, int surface_width, int surface_height,
                       int first_row, int end_row) const;
  void Draw(platform::render::RenderDevice* device, const Mat4& matrix, const Block* held) const;
  // The same, leaving out the blocks whose triangles fill none of the rows [first_row, end_row).
  void DrawInRows(platform::render::RenderDevice* device, const Mat4& screen, int first_row,
                  int end_row) const;

  // One physics step while the settle check flag is set (the door sets it), then, either way,
  // the refresh of the front pick buffer. Called once per play frame; `held` is not used. The
  // refresh runs on a second core while the frame is drawn: whatever reads the front buffer,
  // or changes what it is made from, waits for it first (the play scene once per frame).
  // While the bodies move the second core is free but for the table's fill: `beside` (if any)
  // is queued on it ahead of that, for work that depends on no body. The result is its count
  // among the second core's works (for SecondCore().WaitFor), or 0 when it was not queued.
  uint64_t Step(platform::render::RenderDevice* device, const Block* held,
                BackgroundJob::Work beside = nullptr, void* beside_context = nullptr);
  // Returns once the front buffer's refresh started by Step is done.
  void FinishPickRefresh() const { pickJob_.Wait(); }
  // The second core, for other parts of the frame queued behind the refresh; FinishPickRefresh
  // waits for them too.
  BackgroundJob& SecondCore() const { return pickJob_; }
  // The physics of one step without the refresh: prediction, relaxation, finish.
  void StepBodies();
  // The same while a refresh that reads no block runs (the table's part of the front fill).
  void MoveBodies();
  // Whether every block's centre moved at most 0.015 in the last step, blocks fallen to -100 or
  // below aside; false while the settle check flag is clear. The door waits for it.
  bool AllAtRest() const;
  // Whether a step of many blocks shares its block pairs with the second core (the result is
  // the same either way); PairsBeside counts the blocks whose pairs the second core took.
  void SetTwoCorePairs(bool two) { twoCorePairs_ = two; }
  uint64_t PairsBeside() const { return pairsBeside_.load(std::memory_order_relaxed); }
  uint64_t PairsIdle() const { return pairIdle_; }
  ContactGrid contactGrid;  // the broad phase of the block pairs

  // A pen sample at a screen point: texels of the face under it, or a 3x3 square on the canvas
  // where no face is (then false).
  bool PaintAt(platform::render::RenderDevice* device, float x, float y, const uint8_t pen[3],
               float zoom);
  // Paints the texel of the face under (x, y) when the point lies on the given triangle.
  bool PaintFaceTexel(platform::render::RenderDevice* device, Face* face, float x, float y,
                      const uint8_t pen[3], int triangle);
  // The same with the rays of this frame's transforms, computed once by the caller.
  bool PaintFaceTexel(const CursorRays& rays, Face* face, float x, float y, const uint8_t pen[3],
                      int triangle);
  // Where the cursor ray through (x, y) meets the plane of the face, in display space; a ray
  // parallel to the plane leaves *out as it was.
  bool FacePointUnderCursor(const Face& face, platform::render::RenderDevice* device, float x,
                            float y, Vec3* out) const;

  // The hand: the cursor ray against a display-space quad, the grab of the body under the
  // cursor, the planes a held body follows, and the drag of one frame.
  CursorRays Rays(platform::render::RenderDevice* device) const;
  bool HitQuad(platform::render::RenderDevice* device, const Face& quad, float x, float y,
               Vec3* point) const;
  bool HitDragQuad(platform::render::RenderDevice* device, float x, float y, Vec3* point) const;
  // The body under (x, y), or null; for a block the back buffer is refilled without it.
  Block* Grab(platform::render::RenderDevice* device, int x, int y, int* offset_x, int* offset_y);
  void SetUprightDragQuad(platform::render::RenderDevice* device, const Vec3& centre);
  void SetTableDragQuad(platform::render::RenderDevice* device);
  void DragBody(platform::render::RenderDevice* device, Block* body, int x, int y, int offset_x,
                int offset_y, float pitch);

  // The block drag: the held block follows the cursor in the drag quad, then snaps and glues
  // against what lies behind it, or stands on the table, lifting what it slides under.
  bool DragAttach(platform::render::RenderDevice* device, Block* held, int x, int y, int grab_x,
                  int grab_y);
  // The drag is over (the button came up, or the held block went): the last glue and lift
  // stay, a face the last snap took from an old partner is glued to the held block alone, and
  // the glue state, which only the next drag frame would have undone, is cleared.
  void EndDrag();
  static constexpr long kNoCell = -1;
  struct DropTarget {
    long best = kNoCell;       // the nearest back-buffer cell under the held block
    long blockCell = kNoCell;  // the last nearer cell found that shows a block
  };
  DropTarget FindDropTarget(platform::render::RenderDevice* device, const Block* held);
  // The nearest cell under one screen triangle (kNoCell if none); cells showing a block are
  // reported through block_cell.
  long ScanTriangle(const PickBuffer& cells, const ScreenPoint& v0, const ScreenPoint& v1,
                    const ScreenPoint& v2, long* block_cell);
  Face* SnapAndGlue(platform::render::RenderDevice* device, Block* held, Block* target);
  bool OverlapsOtherBlock(const Block* held, const Vec3& p) const;
  void MoveGroup(Block* block, const Vec3& delta);
  // Where the line through a physics-space point along the viewing direction meets the plane
  // of a face-shaped record (physics space); display space, (0, 0, 0) when parallel.
  Vec3 ProjectAlongView(const Face& record, platform::render::RenderDevice* device,
                        const Vec3& point) const;

  // The list changes only through these, so that nothing keeps pointing at a removed block, no
  // pick cell filled before the change is read as a block, and the contact grid has room for
  // every block.
  void Add(Block* block) override;
  void RemoveAt(int index) override;
  // Removes and destroys a block; every face glued to it comes loose (as with any removal).
  void RemoveWithUnlink(int index) { RemoveAt(index); }
  // Removes and destroys the blocks, leaving every face as RemoveWithUnlink on each in turn, in
  // the order given, would; in passes over the list that do not grow with their number.
  void RemoveBlocks(const std::vector<Block*>& gone);
  // Everything goes: nothing is left to come loose.
  void RemoveAll() override;

  // What a pick cell points at.
  Block* CellBody(const PickCell& cell) const;
  Face* CellFace(const PickCell& cell) const;
  // A cell of the buffer at (x, y); empty outside the buffer or when the block list changed
  // since the buffer was filled.
  PickCell FrontCell(int x, int y) const {
    FinishPickRefresh();
    return CellAt(front_, frontVersion_, x, y);
  }
  PickCell BackCell(int x, int y) const { return CellAt(back_, backVersion_, x, y); }
  uint32_t BodyId(int list_index) const { return PickCell::kFirstBlockBody + uint32_t(list_index); }

  const PickBuffer& FrontBuffer() const {
    FinishPickRefresh();
    return front_;
  }
  const PickBuffer& BackBuffer() const { return back_; }
  const uint8_t* EdgeMask() const {
    FinishPickRefresh();
    return edgeMask_.data();
  }
  // For a test of the outline rows alone: the marks are then made whole again by the next
  // MarkOutlines, not only where the buffer changed.
  uint8_t* MutableEdgeMask() {
    FinishPickRefresh();
    maskFromFill_ = false;
    return edgeMask_.data();
  }
  int Width() const { return width; }
  int Height() const { return height; }
  Table* GetTable() const { return table; }

  // Glue state and drag records of the hand.
  Table* table = nullptr;
  Face* supportQuad = nullptr;
  Face dragQuad;
  GameApp* application = nullptr;
  int width = 0;
  int height = 0;
  std::vector<size_t> candidates;  // cell indices
  int candidateCount = 0;
  float snapDistances[6] = {};
  uint8_t settleCheck = 0;
  Face* pendingFace = nullptr;
  Face* savedLink = nullptr;
  Vec3 snapOffset;
  Block* groupBlock = nullptr;
  Vec3 dragQuadCorners[4];

 private:
  PickCell CellAt(const PickBuffer& buffer, uint64_t version, int x, int y) const;
  // Everything a fill of the front buffer reads: the screen matrix, the list, every corner.
  void KeyPickInputs(const Mat4& ms, FrameKey* key) const;
  // Whether the front buffer must be filled anew for these transforms (false: the fill would
  // give what it holds); when true, it is marked as filled for them.
  bool FrontNeedsFill(const Mat4& ms);
  // Fills a buffer with the table and every block but the excluded one: FillTable, then
  // FillBlocks, which the physics step runs apart (the table does not move).
  void FillBuffer(PickBuffer* cells, const Mat4& ms, const Block* excluded);
  void FillTable(PickBuffer* cells, const Mat4& ms);
  void FillBlocks(PickBuffer* cells, const Mat4& ms, const Block* excluded);
  // The blocks other than `excluded` that reach rows [first_row, end_row): in list order, or
  // from kSkipHiddenFrom blocks nearest first and passing over the hidden; how many triangles
  // were passed over.
  uint64_t FillBlocksInRows(PickBuffer* cells, const Mat4& ms, const Block* excluded,
                            PickBuffer::Extent* rows, int first_row, int end_row);
  // MarkOutlines without waiting: the background refresh ends with it. Only the columns where
  // the buffer can differ from the one the mask was made from are marked anew, when that is
  // known.
  void MarkEdges();
  void ForgetReferencesTo(const Block* gone);
  // The first face of a block other than `except` whose link is `face`, or null.
  Face* FaceGluedTo(const Face& face, const Block* except) const;
  void CentreAt(Block* block, const Vec3& display_point) const;

  // What every face of the set's blocks shows until painted; the blocks go before it.
  BlankFace blankFace_;
  PickBuffer front_;
  PickBuffer back_;
  // Bumped on every change of the block list; each buffer remembers the value it was filled at.
  uint64_t listVersion_ = 0;
  // The id the next block added gets, or past kLargestId the least one no block holds.
  uint32_t TakeId();
  uint32_t nextId_ = 1;
  uint64_t frontVersion_ = 0;
  uint64_t backVersion_ = 0;
  // Every block's corners as a picture or a fill was made of them, and the list version and
  // screen matrix it was made for.
  struct CornerRecord {
    struct Corners {
      Vec3 at[8];
    };
    std::vector<Corners> corners;
    uint64_t version = 0;
    Mat4 screen;
    bool kept = false;
  };
  void NoteCorners(CornerRecord* record, const Mat4& screen) const;
  bool MovedRows(const CornerRecord& record, const Mat4& screen, int height, int* first_row,
                 int* end_row) const;
  // Whether the front buffer can be brought up to date by filling only the rows of the blocks
  // moved since its last fill (the same list, screen matrix and table), and which rows.
  bool FrontRowsSuffice(const Mat4& ms, int* first_row, int* end_row) const;
  // The front buffer's rows [first_row, end_row) emptied and filled again: the table, then the
  // blocks in list order, whose cells a whole fill gives.
  void RefillFrontRows(const Mat4& ms, int first_row, int end_row);
  CornerRecord drawn_;                   // the picture last drawn
  CornerRecord filled_;                  // the front buffer's last fill
  int refillFirst_ = 0, refillEnd_ = 0;  // the rows of the refill running in the background
  int frontRowRefills_ = 0;
  // The inputs of the front buffer's last fill (empty: none to trust) and a scratch key.
  FrameKey frontInputs_;
  FrameKey pickInputs_;
  bool pickReuse_ = true;
  bool skipHidden_ = true;
  uint64_t hiddenSkipped_ = 0;
  int pickFillsSkipped_ = 0;
  uint64_t frontFills_ = 0;
  std::vector<Block*> groupStack_;  // MoveGroup's work list, kept to avoid allocating per drag
  struct FirstSpan {
    int first = 0, last = -1;  // none while last < first
    RowDepth depth{0.0f, 0.0f, 0.0f};
  };
  std::vector<FirstSpan> firstSpans_;  // FillFirstTriangle's rows, kept to avoid allocating
  struct NextSpan {
    int y, first, last;
    RowDepth depth;
  };
  std::vector<NextSpan> nextSpans_;  // the same for its next triangle, in the walk's order
  // A fill of many blocks: each block's corners on screen, and the blocks nearest first.
  struct BlockCorners {
    ScreenPoint points[8];
  };
  std::vector<BlockCorners> corners_;
  std::vector<std::pair<float, int>> nearestFirst_;
  // Its depth tiles, begun anew by each fill in the room the last one left, so that a fill
  // allocates nothing.
  platform::render::DepthTiles pickTiles_;
  Mat4 frontMatrix_;  // the transforms of the front fill running in the background
  std::vector<uint8_t> edgeMask_;
  bool edgeMaskFresh_ = false;  // the edge mask is that of the front buffer as it is
  // What the table's part of a front fill is made from: the transforms, the table's corners (or
  // none), the buffer's size. Equal keys give equal cells wherever no block was drawn.
  struct TableFillKey {
    float values[16 + 12] = {};
    int width = 0, height = 0, table = 0;
    bool operator==(const TableFillKey&) const = default;
  };
  TableFillKey TableKey(const Mat4& ms) const;
  // The front buffer's last fill: its table key and, per row, the columns its blocks were
  // drawn into. The same for the fill the edge mask was made from: when the table keys agree,
  // a cell can differ between the two fills only in those columns, and the marks only there
  // and beside them.
  TableFillKey frontTableKey_;
  std::vector<PickBuffer::Extent> frontBlockRows_;
  bool frontDescribed_ = false;  // the front buffer holds the fill these describe
  bool maskFromFill_ = false;
  TableFillKey markedTableKey_;
  std::vector<PickBuffer::Extent> markedBlockRows_;
  std::vector<PickBuffer::Extent> markRows_;  // MarkEdges' columns to mark anew, kept
  // The block pairs of a relaxation pass (relax_pairs.cpp): on one core, or shared with the
  // second, which gives the same result.
  // Whether this step's pairs are shared; if so, the second core is asked to take part.
  bool ShareRelaxPairs(int count);
  void EndSharedPairs();  // after the last pass of a shared step
  // `replan`: the waves and sides are worked out anew; else the last pass's serve, which only
  // changes how well the two cores keep apart, not what either does.
  void RelaxPairs(int count, bool replan);
  void RelaxPairsOf(int a);
  // Whether the pair tests of a or of b read the other: then they must keep their order.
  bool Neighbours(int a, int b) const;
  // Takes blocks of the shared pass `ticket` until none is left, counting them in `taken`.
  void RelaxSharedPairs(uint32_t ticket, uint64_t* taken);
  // Each block's table test and shape restoration in a pass, on one core or shared; a batch of
  // at most eight blocks at a time; the blocks of the shared pass `ticket` from core `side`.
  void DoOwnWork(int count);
  void OwnWorkOf(Block* const* batch, int n);
  void DoSharedOwnWork(uint32_t ticket, int side);
  void RelaxPairsBeside();  // the second core's side
  bool twoCorePairs_ = true;
  bool pairsShared_ = false;
  uint64_t pairIdle_ = 0;  // the first core's pauses for the second, in shared passes
  uint64_t idleAtStart_ = 0;
  int stepsAlone_ = 0;  // steps left on one core after a stall
  int stallRun_ = 0;    // the last run alone, doubled by a stall soon after it
  PairHandout pairHandout_;
  std::vector<float> pairSides_;  // the centres' x, to find the middle
  std::vector<int> pairPlan_;     // per block, the last planned wave and side
  uint32_t pairHandoutFrom_ = 0;
  std::atomic<uint64_t> pairsBeside_{0};
  // Last, so that it is destroyed, and waits for its work, before the buffers and the blocks.
  mutable BackgroundJob pickJob_;
};
