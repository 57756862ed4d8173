// Grab handles: the view is orthographic, so the hand's drag quad never moves a block towards or
// away from the viewer. A press near one of the two bottom edges at a block's nearest bottom
// corner takes a handle instead; moving the mouse up and down then slides the block along the
// line of sight. Each handle shows as a small black marker on the table under its block, and a
// press on the marker takes the handle again.
#pragma once

#include <cstddef>
#include <vector>

#include "app/object_list.h"
#include "blocks/block.h"
#include "platform/render/render_device.h"
#include "platform/render/surface.h"

class BlockSet;
class GameApp;

class GrabHandle {
 public:
  virtual ~GrabHandle() = default;
  // Takes the block at screen point (x, y): the anchor goes to the table under the block's
  // bottom-face centre. Leaves the block set's drag quad on the table plane. Always true.
  virtual bool Init(GameApp* app, BlockSet* set, Block* target, int x, int y);

  Block* block = nullptr;
  Vec3 anchor;  // display space, on the table plane: where the marker is drawn
  int screenX = 0;
  int screenY = 0;
};

class GrabLayer : public OwningObjectList<GrabHandle> {
 public:
  GrabLayer() = default;

  // Allocates the handle map and refreshes; false if the map cannot be had.
  bool Initialise(GameApp* app, BlockSet* set, int map_width, int map_height);
  // Called when a tool is chosen, on a right-button turn and after a press that took no handle:
  // screen positions of all blocks, unhandled blocks sitting on a handled one's screen position
  // removed, every handle dropped.
  void Refresh(platform::render::RenderDevice* device);
  // Every block's screen position for the device's camera, as the refresh first works them out
  // (they are read nowhere else).
  void PlaceBlocksOnScreen(platform::render::RenderDevice* device);
  // A hand press: the handle taken (a marker, or a bottom edge; a second handle on a block
  // copies it), or null after a refresh.
  GrabHandle* Press(platform::render::RenderDevice* device, int x, int y);
  // Whether a handle holds the block (each handled block points at its handle).
  bool HasHandle(const Block* b) const;
  // Also points the handle's block at the handle.
  void Add(GrabHandle* h) override;
  // Also empties the handle map, which may point at the handle.
  void RemoveAt(int index) override;
  // Moves the handle's block along the line of sight with the vertical mouse position.
  void Drag(platform::render::RenderDevice* device, GrabHandle* h, int x, int y);
  // The markers, where the table is the nearest body; they also fill the handle map.
  void Overlay(platform::render::RenderDevice* device, platform::render::Surface* back_buffer);
  // The pixels the last overlay blackened, blackened again: for the same handles over the same
  // scene. False, drawing nothing, when handles came or went since.
  bool RedrawMarkers(platform::render::Surface* back_buffer) const;

  GrabHandle* HandleAt(int x, int y) const;
  // Every handle gone and the map empty, the blocks untouched (they are about to be replaced).
  void DropAll() {
    ClearHandleMap();
    RemoveAll();
  }

  Face quad;  // upright through the held block, along the view and the screen's rows
  GameApp* application = nullptr;
  BlockSet* blockSet = nullptr;
  int width = 0;
  int height = 0;
  Vec3 quadCorners[4];

 private:
  void ClearHandleMap();

  std::vector<GrabHandle*> handleMap_;
  std::vector<size_t> markedCells_;  // the map's set entries, so clearing touches only them
  int overlaidHandles_ = -1;         // the handles the map holds, or -1 when it may not hold all
};
