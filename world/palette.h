// The tool palette's three procedures, in the order the play scene runs them each frame.
#pragma once

#include <cstdint>

#include "platform/gdi/device_context.h"

class World;
class ToolHost;

// Tracking, after the cursor and both buttons were read: with no button down every icon refreshes
// its hot flag; with one down the result says whether the cursor is on any icon.
bool TrackPalette(World* world, ToolHost* scene, int x, int y, int left, int right);

// Choosing, on the frame of a left release: the hot tool becomes current (the door starts the
// settling instead of playing the selected sound) and the grab handles are dropped; every
// tool's Apply runs.
void ChooseTool(World* world, ToolHost* scene, uint32_t now_ms);

// Whether the overlay shows the closed door: while leaving, once every body rests or the time
// limit has passed. Decided once a frame, before the overlay is drawn.
bool DoorPictureDue(const World* world, const ToolHost* scene, uint32_t now_ms);
// The overlay at the end of the play render: the icons and the current tool's cursor, or while
// leaving only the door, open or (door_picture) closed. It only draws, so that threads that own
// rows of the frame may each draw it into theirs.
void DrawPaletteOverlay(const World* world, const ToolHost* scene, bool door_picture,
                        platform::gdi::DeviceContext* dc);
