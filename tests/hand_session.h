// The play scene entered through the title, as the hand's tests start: the scripted mouse with a
// press, a drag and a release, and where a physics-space point shows on screen.
#pragma once

#include <gtest/gtest.h>

#include "blocks/block_set.h"
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

  TestApp t;
};
