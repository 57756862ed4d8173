// The play scene entered through the title, as the hand's tests start: the scripted mouse with a
// press, a drag and a release, and where a physics-space point shows on screen.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "blocks/block_set.h"
#include "bottom_edge.h"
#include "test_app.h"

class HandSession : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.created()) << t.app().FailureReason();
    t.EnterPlay();
    t.Move(320, 300);
    t.NextFrame();
  }
  BlockSet& set() { return t.world().blockSet; }
  Block* block(int i) { return set().At(i); }
  platform::render::RenderDevice* device() { return t.app().Graphics().Device(); }
  PlayScene& play() { return t.play(); }
  ScreenPoint OnScreen(const Vec3& physics) {
    return ProjectToScreen(physics, set().ScreenMatrix(device()));
  }
  // Presses at (x, y) and runs the frame that grabs.
  void PressAt(int x, int y) {
    t.Move(x, y);
    t.NextFrame();
    t.Press();
    t.NextFrame();
  }
  void PressAt(platform::Point p) { PressAt(p.x, p.y); }
  // With the button held, moves to (x, y) in a few frames.
  void DragTo(int x, int y, int steps = 4) {
    const platform::Point from = t.platform().CursorPos();
    for (int i = 1; i <= steps; ++i) {
      t.Move(from.x + (x - from.x) * i / steps, from.y + (y - from.y) * i / steps);
      t.NextFrame();
    }
  }
  void MoveBy(int dx, int dy, int steps = 4) {
    const platform::Point from = t.platform().CursorPos();
    DragTo(from.x + dx, from.y + dy, steps);
  }
  void LetGo() {
    t.Release();
    t.NextFrame();
  }
  // Picks up the block at the centre of its top face on screen; the press point is returned.
  platform::Point PickUp(int i) {
    Vec3 top = block(i)->centre;
    top.z += 0.9f;
    const ScreenPoint s = OnScreen(top);
    PressAt(int(s.x), int(s.y));
    EXPECT_EQ(play().heldBody, block(i));
    return {int(s.x), int(s.y)};
  }
  // Where the cursor must go so that the held block's corner 0 shows at the point's screen
  // position.
  platform::Point CursorFor(const Vec3& corner0) {
    const ScreenPoint s = OnScreen(corner0);
    return {int(std::lround(s.x)) + play().grabOffsetX, int(std::lround(s.y)) + play().grabOffsetY};
  }
  // Where the cursor must go so that the held block shows standing on top of block i.
  platform::Point CursorOnTopOf(int i) {
    Vec3 above = block(i)->corners[0];
    above.z += 2.0f;
    return CursorFor(above);
  }
  // Block i brought towards the viewer by its grab handle, 60 pixels down, glued as it was.
  void BringForwardByItsHandle(int i) {
    t.Move(20, 240);
    t.NextFrame();
    platform::Point edge{0, 0};
    ASSERT_TRUE(BottomEdgePoint(set(), device(), *block(i), &edge));
    PressAt(edge);
    ASSERT_NE(play().heldHandle, nullptr);
    MoveBy(0, 60);
    LetGo();
  }
  static bool Linked(const Face& a, const Face& b) { return a.link == &b && b.link == &a; }

  TestApp t;
};

// Every face's link points back at it: no block is glued to a face that is glued elsewhere.
inline bool EveryLinkPaired(const BlockSet& set) {
  for (int i = 0; i < set.Count(); ++i)
    for (const Face& f : set.At(i)->faces)
      if (f.link && f.link->link != &f) return false;
  return true;
}
