#include "soak.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <vector>

#include "blocks/block_set.h"
#include "bottom_edge.h"
#include "play/grab_layer.h"
#include "soak_checks.h"
#include "test_app.h"

namespace {

// One frame of a gesture: where the mouse is and which buttons are down.
struct Step {
  int x, y;
  bool left, right;
  int history = 0;  // 1: undo, 2: redo, sent before the frame, the buttons as they are
};

class Soak {
 public:
  Soak(uint32_t seed, SoakFigures* figures, bool progress)
      : random_(seed), figures_(figures), progress_(progress), checks_(&t_) {}

  bool Run(int64_t frames, std::string* failure) {
    if (!t_.created()) return Fail("start-up failed: " + t_.app().FailureReason(), failure);
    t_.NextFrame();
    while (figures_->frames < frames) {
      if (t_.quit()) return Fail("the program ended", failure);
      std::vector<Step> gesture = NextGesture();
      for (const Step& step : gesture) {
        const bool ok = Frame(step);
        figures_->checks = checks_.figures();
        if (!ok) return Fail(problem_, failure);
        if (progress_ && figures_->frames % 10000 == 0) Report();
        if (figures_->frames >= frames) break;
      }
    }
    return true;
  }

 private:
  // Draws that feed one call are made one statement apart: the order in which a call's
  // arguments are worked out is the compiler's, and a seed must give one run in every build.
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  bool Fail(const std::string& why, std::string* failure) {
    std::ostringstream out;
    out << "frame " << figures_->frames << ": " << why;
    *failure = out.str();
    return false;
  }

  bool InPlay() { return t_.current() == &t_.play(); }
  void Report() const {
    std::printf("%s\n", SoakFiguresLine(*figures_).c_str());
    std::fflush(stdout);
  }
  Tool* CurrentTool() { return InPlay() ? t_.play().currentTool : nullptr; }

  // A click on a tool's icon: hover (so it lights), press, release.
  void ClickTool(int index, std::vector<Step>* g) {
    const Tool* tool = t_.world().tools[index].get();
    const int x = int(tool->x) + 24, y = int(tool->y) + 24;
    g->push_back({x, y, false, false});
    g->push_back({x, y, true, false});
    g->push_back({x, y, false, false});
  }
  void EnsureTool(int index, std::vector<Step>* g) {
    if (CurrentTool() != t_.world().tools[index].get()) ClickTool(index, g);
  }
  // Press at (x, y), wander for a few frames with the button held, let go.
  void Stroke(int x, int y, int frames, int reach, bool vertical_only, std::vector<Step>* g) {
    g->push_back({x, y, false, false});
    g->push_back({x, y, true, false});
    for (int i = 0; i < frames; ++i) {
      if (!vertical_only) x += Uniform(-reach, reach);
      y += Uniform(-reach, reach);
      g->push_back({x, y, true, false});
    }
    g->push_back({x, y, false, false});
  }
  // Just above a bottom edge at the nearest bottom corner of a random block.
  bool BottomEdgePoint(int* x, int* y) {
    BlockSet& set = t_.world().blockSet;
    if (set.Count() == 0) return false;
    const Block& b = *set.At(Uniform(0, set.Count() - 1));
    const ScreenPoint p =
        BottomEdgeMiddle(set, t_.app().Graphics().Device(), b, Chance(0.5) ? 1 : 3, 1.5f);
    if (!(p.x > 0 && p.x < 639 && p.y > 0 && p.y < 479)) return false;
    *x = int(p.x);
    *y = int(p.y);
    return true;
  }

  std::vector<Step> NextGesture() {
    std::vector<Step> g;
    if (!InPlay()) {  // the title: start again (the end button is left alone)
      g.push_back({150, 370, false, false});
      g.push_back({150, 370, true, false});
      g.push_back({150, 370, false, false});
      for (int i = 0; i < 12; ++i) g.push_back({320, 240, false, false});
      return g;
    }
    if (CurrentTool() && CurrentTool()->type == Tool::kDoor) {
      // Leaving: input is not read; the mouse wanders and clicks all the same.
      g.push_back({Uniform(0, 639), Uniform(0, 479), Chance(0.3), Chance(0.3)});
      return g;
    }
    if (Chance(0.08)) {  // undo or redo, a few times, sometimes in the middle of a stroke
      const bool mid_stroke = Chance(0.3) && CurrentTool() && CurrentTool()->type != Tool::kDoor;
      int x = Uniform(80, 560), y = Uniform(0, 479);
      if (mid_stroke) Stroke(x, y, Uniform(1, 6), 20, false, &g), g.pop_back();
      if (!g.empty()) x = g.back().x, y = g.back().y;
      for (int i = 0, n = Uniform(1, 4); i < n; ++i)
        g.push_back({x, y, mid_stroke, false, Chance(0.6) ? 1 : 2});
      g.push_back({x, y, false, false});
      return g;
    }
    const int roll = Uniform(0, 99);
    if (roll < 30) {  // the hand: grab whatever is there and drag it around
      EnsureTool(0, &g);
      const int frames = Uniform(1, 25), y = Uniform(0, 479), x = Uniform(80, 560);
      Stroke(x, y, frames, 30, false, &g);
    } else if (roll < 45) {  // a grab handle: up and down by a bottom edge
      EnsureTool(0, &g);
      int x, y;
      if (BottomEdgePoint(&x, &y)) {
        // Often twice on the same edge: the second handle on a block copies it.
        if (Chance(0.5)) Stroke(x, y, 0, 0, true, &g);
        Stroke(x, y, Uniform(1, 20), 25, true, &g);
      }
    } else if (roll < 57) {  // a pen stroke
      EnsureTool(4 + Uniform(0, 7), &g);
      const int frames = Uniform(1, 15), y = Uniform(0, 479), x = Uniform(80, 560);
      Stroke(x, y, frames, 20, false, &g);
    } else if (roll < 65) {
      EnsureTool(1, &g);  // rotate
      const int frames = Uniform(1, 10), y = Uniform(0, 479), x = Uniform(80, 560);
      Stroke(x, y, frames, 40, false, &g);
    } else if (roll < 72) {
      EnsureTool(2, &g);  // zoom
      const int frames = Uniform(1, 10), y = Uniform(0, 479), x = Uniform(80, 560);
      Stroke(x, y, frames, 40, false, &g);
    } else if (roll < 84) {  // a right-button turn, sometimes with the left held still
      int x = Uniform(80, 560), y = Uniform(0, 479);
      const bool left = Chance(0.2);
      for (int i = 0, n = Uniform(1, 8); i < n; ++i) {
        x += Uniform(-20, 20);
        y += Uniform(-20, 20);
        g.push_back({x, y, left, true});
      }
      g.push_back({x, y, false, false});
    } else if (roll < 98) {  // choose a tool again, or go off screen and back
      if (Chance(0.5))
        ClickTool(Uniform(0, 2), &g);
      else {
        const int y = Uniform(-40, 520), x = Uniform(-40, 680);
        Stroke(x, y, 3, 60, false, &g);
      }
    } else {
      ClickTool(3, &g);  // the door
    }
    return g;
  }

  // Device trouble at a random frame: a plain loss; a loss held for some frames; the
  // presentation lost for some frames; a loss whose resets fail a few times with one code. (Which
  // failures show a box is graphics_device_test's.)
  void Disturb() {
    GraphicsDevice& graphics = t_.app().Graphics();
    platform::HeadlessPlatform& p = t_.platform();
    const int kind = Uniform(0, 3);
    if (kind == 3) {
      static const platform::render::Result kCodes[6] = {
          platform::render::Result::kDeviceLost,  platform::render::Result::kDriverInternalError,
          platform::render::Result::kInvalidCall, platform::render::Result::kOutOfVideoMemory,
          platform::render::Result::kOutOfMemory, platform::render::Result::kFail};
      const int times = Uniform(1, 4), code = Uniform(0, 5);
      graphics.Device()->FailResets(kCodes[code], times);
      ++figures_->failedResets;
    }
    graphics.Device()->InjectDeviceLoss();
    ++figures_->deviceLosses;
    if (kind == 1 || kind == 2) {
      // Frames pass without a picture: run the loop on the clock, as a minimised window would.
      kind == 1 ? graphics.Device()->HoldLoss(true) : p.SetPresentationLost(true);
      for (int i = 0, n = Uniform(1, 40); i < n; ++i) {
        p.Advance(21);
        t_.app().Frame();
        ++figures_->unpresentedFrames;
      }
      kind == 1 ? graphics.Device()->HoldLoss(false) : p.SetPresentationLost(false);
      ++(kind == 1 ? figures_->heldLosses : figures_->presentationLosses);
    }
  }

  bool Frame(const Step& step) {
    platform::HeadlessPlatform& p = t_.platform();
    const bool in_play = InPlay();
    const int blocks = t_.world().blockSet.Count();
    const GrabHandle* handle = in_play ? t_.play().heldHandle : nullptr;
    const Block* body = in_play ? t_.play().heldBody : nullptr;
    const Tool* tool = CurrentTool();
    if (in_play)
      checks_.BeforePlayFrame(tool && tool->type == Tool::kPen && step.left, step.history != 0);
    if (step.history)
      p.Send(step.history == 1 ? platform::Message::kUndo : platform::Message::kRedo);
    t_.Move(step.x, step.y);
    if (step.left != left_) step.left ? t_.Press() : t_.Release();
    if (step.right != right_)
      step.right ? p.Press(platform::MouseButton::kRight)
                 : p.Release(platform::MouseButton::kRight);
    left_ = step.left;
    right_ = step.right;
    if (Chance(0.005)) Disturb();
    const bool door = in_play && tool && tool->type == Tool::kDoor;
    if (!t_.NextFrame()) {
      problem_ = "no frame was presented";
      return false;
    }
    ++figures_->frames;
    if (std::getenv("SOAK_TRACE") && InPlay()) {
      BlockSet& set = t_.world().blockSet;
      std::fprintf(stderr,
                   "%lld: (%d,%d) L%d R%d tool %d held %d handle %d pending %d saved %d group %d\n",
                   (long long)figures_->frames, step.x, step.y, step.left, step.right,
                   CurrentTool() ? CurrentTool()->type : -1,
                   t_.play().heldBody ? set.Find(t_.play().heldBody) : -9,
                   t_.play().heldHandle ? set.Find(t_.play().heldHandle->block) : -9,
                   set.pendingFace ? set.Find(set.pendingFace->owner) : -9,
                   set.savedLink ? set.Find(set.savedLink->owner) : -9,
                   set.groupBlock ? set.Find(set.groupBlock) : -9);
    }
    if (!InPlay()) {
      if (door) ++figures_->doors;
      doorFrames_ = 0;
      return true;
    }
    if (in_play) {
      PlayScene& play = t_.play();
      if (play.heldHandle && play.heldHandle != handle) ++figures_->handles;
      if (play.heldBody && play.heldBody != body) ++figures_->grabs;
      const int now = t_.world().blockSet.Count();
      // Blocks an undo or redo takes away or brings back are the history's, not copies or
      // removals of the grab layer.
      if (now > blocks && !step.history) figures_->copies += now - blocks;
      if (now < blocks && !step.history) figures_->removals += blocks - now;
      if (door && ++doorFrames_ > 1500) {
        problem_ = "the door did not close";
        return false;
      }
    }
    // Just entered: the blocks were rebuilt.
    problem_ = checks_.AfterPlayFrame(!in_play);
    return problem_.empty();
  }

  TestApp t_;
  std::mt19937 random_;
  SoakFigures* figures_;
  bool progress_;
  SoakChecks checks_;
  bool left_ = false;
  bool right_ = false;
  int doorFrames_ = 0;
  std::string problem_;
};

}  // namespace

std::string SoakFiguresLine(const SoakFigures& f) {
  std::ostringstream line;
  line << "frames " << f.frames << ", doors " << f.doors << ", grabs " << f.grabs << ", handles "
       << f.handles << ", copies " << f.copies << ", removals " << f.removals << " (judged "
       << f.checks.removalsJudged << "), device losses " << f.deviceLosses << " (held "
       << f.heldLosses << ", presentation " << f.presentationLosses << ", failing resets "
       << f.failedResets << ", frames unshown " << f.unpresentedFrames << "), pick checks "
       << f.checks.pickChecks << ", paint checks " << f.checks.paintChecks << ", heap "
       << f.checks.heapBaseline << " bytes, drift " << f.checks.heapDrift;
  return line.str();
}

bool RunSoak(uint32_t seed, int64_t frames, SoakFigures* figures, std::string* failure,
             bool progress) {
  Soak soak(seed, figures, progress);
  return soak.Run(frames, failure);
}
