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
#include "test_app.h"

namespace {

// One frame of a gesture: where the mouse is and which buttons are down.
struct Step {
  int x, y;
  bool left, right;
};

class Soak {
 public:
  Soak(uint32_t seed, SoakFigures* figures, bool progress)
      : random_(seed), figures_(figures), progress_(progress) {}

  bool Run(int64_t frames, std::string* failure) {
    if (!t_.created()) return Fail("start-up failed: " + t_.app().FailureReason(), failure);
    t_.NextFrame();
    while (figures_->frames < frames) {
      if (t_.quit()) return Fail("the program ended", failure);
      std::vector<Step> gesture = NextGesture();
      for (const Step& step : gesture) {
        if (!Frame(step)) return Fail(problem_, failure);
        if (progress_ && figures_->frames % 10000 == 0) Report();
        if (figures_->frames >= frames) break;
      }
    }
    return true;
  }

 private:
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
    const SoakFigures& f = *figures_;
    std::printf(
        "frames %lld, doors %lld, grabs %lld, handles %lld, copies %lld, removals %lld, "
        "device losses %lld\n",
        (long long)f.frames, (long long)f.doors, (long long)f.grabs, (long long)f.handles,
        (long long)f.copies, (long long)f.removals, (long long)f.deviceLosses);
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
    const int roll = Uniform(0, 99);
    if (roll < 30) {  // the hand: grab whatever is there and drag it around
      EnsureTool(0, &g);
      Stroke(Uniform(80, 560), Uniform(0, 479), Uniform(1, 25), 30, false, &g);
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
      Stroke(Uniform(80, 560), Uniform(0, 479), Uniform(1, 15), 20, false, &g);
    } else if (roll < 65) {
      EnsureTool(1, &g);  // rotate
      Stroke(Uniform(80, 560), Uniform(0, 479), Uniform(1, 10), 40, false, &g);
    } else if (roll < 72) {
      EnsureTool(2, &g);  // zoom
      Stroke(Uniform(80, 560), Uniform(0, 479), Uniform(1, 10), 40, false, &g);
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
      else
        Stroke(Uniform(-40, 680), Uniform(-40, 520), 3, 60, false, &g);
    } else {
      ClickTool(3, &g);  // the door
    }
    return g;
  }

  bool Frame(const Step& step) {
    platform::HeadlessPlatform& p = t_.platform();
    const bool in_play = InPlay();
    const int blocks = t_.world().blockSet.Count();
    const GrabHandle* handle = in_play ? t_.play().heldHandle : nullptr;
    const Block* body = in_play ? t_.play().heldBody : nullptr;
    t_.Move(step.x, step.y);
    if (step.left != left_) step.left ? t_.Press() : t_.Release();
    if (step.right != right_)
      step.right ? p.Press(platform::MouseButton::kRight)
                 : p.Release(platform::MouseButton::kRight);
    left_ = step.left;
    right_ = step.right;
    if (Chance(0.005)) {
      t_.app().Graphics().Device()->InjectDeviceLoss();
      ++figures_->deviceLosses;
    }
    const bool door = in_play && CurrentTool() && CurrentTool()->type == Tool::kDoor;
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
    if (!in_play) return Check();  // just entered: the blocks were rebuilt
    PlayScene& play = t_.play();
    if (play.heldHandle && play.heldHandle != handle) ++figures_->handles;
    if (play.heldBody && play.heldBody != body) ++figures_->grabs;
    const int now = t_.world().blockSet.Count();
    if (now > blocks) figures_->copies += now - blocks;
    if (now < blocks) figures_->removals += blocks - now;
    if (door && ++doorFrames_ > 1500) {
      problem_ = "the door did not close";
      return false;
    }
    return Check();
  }

  bool Broken(const std::string& why) {
    problem_ = why;
    return false;
  }
  bool Live(const Block* b) { return b == &t_.world().table || t_.world().blockSet.Find(b) >= 0; }

  // Everything that refers to a block refers to one in the list; every corner is a number.
  bool Check() {
    World& world = t_.world();
    BlockSet& set = world.blockSet;
    PlayScene& play = t_.play();
    // Every face pointer, checked by address first, so that a dangling one is caught before it
    // is followed.
    faces_.clear();
    for (int i = 0; i < set.Count(); ++i)
      for (const Face& f : set.At(i)->faces) faces_.push_back(&f);
    std::sort(faces_.begin(), faces_.end());
    const auto known = [&](const Face* f) {
      return !f || std::binary_search(faces_.begin(), faces_.end(), f);
    };
    for (int i = 0; i < set.Count(); ++i)
      for (const Face& f : set.At(i)->faces)
        if (!known(f.link)) return Broken("a link to a face of no block in the list");
    if (!known(set.pendingFace) || !known(set.savedLink))
      return Broken("the glue state names a face of no block in the list");
    for (int i = 0; i < set.Count(); ++i) {
      const Block* b = set.At(i);
      for (const Vec3& c : b->corners)
        if (!std::isfinite(c.x) || !std::isfinite(c.y) || !std::isfinite(c.z))
          return Broken("a corner is not a finite number");
      for (const Face& f : b->faces) {
        if (!f.link) continue;
        if (!Live(f.link->owner) || f.link->owner == b) return Broken("a link to a gone block");
        // Links come in pairs. A drag that glues onto a face already glued elsewhere takes that
        // face for the held block and leaves the old partner pointing at it, one-sided.
        const Face* partner = f.link->link;
        if (partner != &f && !(partner && partner->link == f.link)) {
          std::ostringstream why;
          why << "a link without its other side: block " << i << " face " << (&f - b->faces)
              << " to block " << set.Find(f.link->owner) << " face "
              << (f.link - f.link->owner->faces) << ", which links to "
              << (partner ? set.Find(partner->owner) : -1)
              << (partner && !partner->owner ? " (a face-shaped record of no block)" : "")
              << (partner && partner->owner == &world.table ? " (the table)" : "");
          for (int j = 0; j < set.Count(); ++j)
            for (const Face& g : set.At(j)->faces)
              if (&g == partner) why << " (found as a face of block " << j << ")";
          why << " held " << (play.heldBody ? set.Find(play.heldBody) : -9);
          return Broken(why.str());
        }
      }
    }
    if (play.heldBody && !Live(play.heldBody)) return Broken("the held body is gone");
    if (play.heldHandle) {
      if (world.grabLayer.Find(play.heldHandle) < 0) return Broken("the held handle is gone");
      if (!Live(play.heldHandle->block)) return Broken("the held handle's block is gone");
    }
    for (int i = 0; i < world.grabLayer.Count(); ++i)
      if (!Live(world.grabLayer.At(i)->block)) return Broken("a handle's block is gone");
    for (const Face* f : {set.pendingFace, set.savedLink, set.supportQuad})
      if (f && f->owner && !Live(f->owner)) return Broken("the glue state names a gone block");
    if (set.groupBlock && !Live(set.groupBlock)) return Broken("the group block is gone");
    const PickBuffer& front = set.FrontBuffer();
    const uint32_t bodies = PickCell::kFirstBlockBody + uint32_t(set.Count());
    for (size_t i = 0; i < front.size(); ++i)
      if (front[i].Body() >= bodies && set.FrontCell(int(i % 640), int(i / 640)).Body() != 0)
        return Broken("a pick cell names a block past the end of the list");
    return true;
  }

  TestApp t_;
  std::mt19937 random_;
  SoakFigures* figures_;
  bool progress_;
  bool left_ = false;
  bool right_ = false;
  int doorFrames_ = 0;
  std::string problem_;
  std::vector<const Face*> faces_;
};

}  // namespace

bool RunSoak(uint32_t seed, int64_t frames, SoakFigures* figures, std::string* failure,
             bool progress) {
  Soak soak(seed, figures, progress);
  return soak.Run(frames, failure);
}
