// The judgments of the monkey soak, made around every frame of the real GameApp: references live
// and links paired, pick cells that name what is drawn there, every removal explained by its
// rule, texels that change only under a pen, the camera in its ranges, a heap that stays flat.
// Each check returns "" when it holds, otherwise what broke.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "blocks/pick_buffer.h"
#include "test_app.h"

struct SoakCheckFigures {
  int64_t pickChecks = 0;      // front buffers compared with a fill of their own
  int64_t removalsJudged = 0;  // removals found to follow the grab layer's rule
  int64_t paintChecks = 0;     // frames without a pen whose texels were compared
  size_t heapBaseline = 0;     // bytes in use on the third entry into play
  int64_t heapDrift = 0;       // the largest excess over it on a later entry
};

class SoakChecks {
 public:
  explicit SoakChecks(TestApp* t);

  // Before a play frame: what the frame's judgments compare against. `pen`: this frame may paint
  // (a pen is the tool and the left button is down); `history`: an undo or redo comes in this
  // frame, which may remove, add and repaint blocks.
  void BeforePlayFrame(bool pen, bool history = false);
  // After a play frame; `entered` when it is the first one of a new play space.
  std::string AfterPlayFrame(bool entered);
  const SoakCheckFigures& figures() const { return figures_; }

 private:
  std::string References();
  std::string Pairs();
  std::string PickCells();
  std::string Removals();
  std::string Paint();
  std::string Camera();
  std::string Heap();
  bool Live(const Block* b) const;
  // The block set's screen matrix with the given world matrix in place of the device's.
  Mat4 ScreenMatrixWith(const Mat4& world);

  TestApp* t_;
  SoakCheckFigures figures_;
  std::vector<const Face*> faces_;  // every face of the list, sorted, for address checks
  PickBuffer reference_;
  uint64_t checkedListVersion_ = 0;
  int64_t frame_ = 0;
  int entries_ = 0;
  // Before the frame: each block where a grab layer refresh would see it on screen, and whether
  // it has a handle; whether a pen or the history may change texels; every block's texels.
  struct Before {
    const Block* block;
    int x, y;
    bool handled;
  };
  std::vector<Before> before_;
  bool pen_ = false;
  bool history_ = false;
  std::unordered_map<const Block*, uint64_t> texels_;  // the table and canvas under nullptr
};
