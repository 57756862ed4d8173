// The undo history of the play space: one step per gesture that changed the construction, kept
// as the difference between the constructions before and after it (the blocks that changed, by
// id, the canvas and table rows that changed, and the few records of the hand and the handles),
// never as whole copies. The camera, the tool and the pen colour are not part of it, nor the
// blocks' screen positions, which are worked out from the corners and the camera.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "play/snapshot.h"

class History {
 public:
  // The bound on what the steps hold, counted as the room they take; the oldest go first,
  // whichever change made the steps grow. Far more than a thousand steps of hand moves and pen
  // strokes fit.
  static constexpr size_t kMaxBytes = size_t(64) << 20;
  static constexpr size_t kMaxSteps = 100000;

  // Forgets every step; `now` is the construction as it stands.
  void Reset(Snapshot now);
  // The construction is now `now`. A change to what a person sees (blocks, glue, texels, handles,
  // canvas, table) is a new step, and the steps that could be redone are dropped; a change only to
  // the hand's hidden records joins the newest step (or the next one), so that undo and redo stay
  // exact. True when a step was made.
  bool Record(Snapshot now);
  // Current() becomes the construction as it was before the last step / after the next one (its
  // camera, tool and pen as they were last recorded: the caller keeps its own). False, nothing
  // changed, when there is none.
  bool Undo();
  bool Redo();

  size_t UndoSteps() const { return done_; }
  size_t RedoSteps() const { return steps_.size() - done_; }
  size_t Bytes() const { return bytes_; }
  // The construction as the history last saw it; the camera, tool and pen are the caller's to set.
  const Snapshot& Current() const { return current_; }
  Snapshot& Current() { return current_; }

 private:
  // The changed rows of a picture: their numbers, and their bytes one row after another.
  struct Rows {
    std::vector<int32_t> numbers;
    std::vector<uint8_t> bytes;
  };
  // One side of a step: the list order of block ids where it changed (the empty list included),
  // the records of the blocks that differ or exist on this side only, the changed rows of the
  // canvas and the table, and every other record of the construction. Each vector holds no more
  // room than its records.
  struct Side {
    std::optional<std::vector<uint32_t>> order;
    std::vector<Snapshot::Block> blocks;
    Rows canvas, table;
    Snapshot rest;  // no blocks, canvas or table texels
  };
  struct Step {
    Side before, after;
    size_t bytes = 0;
  };
  // The rows of width `row_bytes` in which two pictures differ, each side's bytes; and rows put
  // back into a picture.
  static void RowDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                            size_t row_bytes, Rows* from, Rows* to);
  static void PutRows(const Rows& rows, std::vector<uint8_t>* picture);
  // The step from `a` to `b`; `seen` tells whether a person would see a difference.
  static Step Difference(const Snapshot& a, const Snapshot& b, bool* seen);
  // One side of a step put into a construction that stands as its other side.
  static void Apply(Snapshot* state, const Side& side);
  // What a step holds on the heap and in the list of steps, as the bound counts it.
  static size_t BytesOf(const Step& step);
  void DropRedo();
  void Trim();

  Snapshot current_;
  std::deque<Step> steps_;
  size_t done_ = 0;
  size_t bytes_ = 0;
};
