// A random session of a person's gestures in the play space: hand moves, handle moves and copies,
// pen strokes on faces, the table and the canvas. It drives anything with the test app's mouse,
// frame, world and app (a TestApp, or several run side by side), and reads the scene from it.
#pragma once

#include <functional>

#include "blocks/block_set.h"
#include "bottom_edge.h"
#include "platform/portable_rand.h"
#include "world/world.h"

template <class App>
class RandomSession {
 public:
  RandomSession(App& t, uint32_t seed) : t_(t) { random_.Seed(seed); }
  // Called after every release, where the history may have made a step.
  std::function<void()> afterRelease = [] {};
  // Draws that feed one call are made one statement apart: the order in which a call's
  // arguments are worked out is the compiler's, and a seed must give one session in every build.
  int Uniform(int low, int high) { return low + int(random_.Next() % uint32_t(high - low + 1)); }

  void ChooseTool(int index) {
    const Tool* tool = t_.world().tools[index].get();
    Stroke(int(tool->x) + 24, int(tool->y) + 24, 0, 0, false);
  }
  // Press at (x, y), `frames` moves of up to `reach` pixels, release.
  void Stroke(int x, int y, int frames, int reach, bool vertical) {
    t_.Move(x, y);
    t_.NextFrame();
    t_.Press();
    t_.NextFrame();
    for (int i = 0; i < frames; ++i) {
      if (!vertical) x += Uniform(-reach, reach);
      y += Uniform(-reach, reach);
      t_.Move(x, y);
      t_.NextFrame();
    }
    t_.Release();
    t_.NextFrame();
    afterRelease();
  }
  // Hand moves, handle moves and copies, pen strokes on faces, the table and the canvas.
  void Gesture() {
    const int roll = Uniform(0, 9);
    if (roll < 4) {
      ChooseTool(0);
      const int frames = Uniform(2, 20), y = Uniform(60, 460), x = Uniform(120, 520);
      Stroke(x, y, frames, 25, false);
    } else if (roll < 7) {
      ChooseTool(0);
      BlockSet& set = t_.world().blockSet;
      const Block& b = *set.At(Uniform(0, set.Count() - 1));
      const ScreenPoint p =
          BottomEdgeMiddle(set, t_.app().Graphics().Device(), b, Uniform(0, 1) ? 1 : 3, 1.5f);
      if (!(p.x > 80 && p.x < 560 && p.y > 0 && p.y < 479)) return;
      if (Uniform(0, 1)) Stroke(int(p.x), int(p.y), 0, 0, true);  // the second press copies
      Stroke(int(p.x), int(p.y), Uniform(1, 12), 20, true);
    } else {
      ChooseTool(4 + Uniform(0, 7));
      const int frames = Uniform(1, 12), y = Uniform(20, 460), x = Uniform(120, 520);
      Stroke(x, y, frames, 20, false);
    }
  }

 private:
  App& t_;
  platform::PortableRand random_;
};
