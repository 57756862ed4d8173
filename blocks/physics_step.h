// The stages of one physics step of a block, in the order BlockSet::Step runs them: prediction,
// then five relaxation passes of table pass (TestTable, then RestoreShape) and block pairs, then
// the finish. Every block is eight corner particles; all values are per step, physics space.
#pragma once

#include "blocks/block.h"

// Centres that moved less than this in a step freeze the block for that step.
inline constexpr float kRestMove = 0.015f;
// The at-rest query stops waiting for blocks that fell this low past the table.
inline constexpr float kLostHeight = -100.0f;
inline constexpr int kRelaxationPasses = 5;

// Moves each corner by its velocity and by the fall of one step, and clears the contact flags.
void PredictBlock(Block& block);
// Holds the block in shape: the sixteen distance constraints, new axes from the deformed
// corners, the centre, and the box rebuilt rigidly around it.
void RestoreShape(Block& block);
// The same for `count` blocks, eight side by side; the results are those of one at a time.
void RestoreShapes(Block* const* blocks, int count);
// Ends the step of one block: a block that hardly moved is put back, velocities follow the
// corners' moves, and a landing after a fall plays one of the block's collision sounds.
void FinishBlock(Block& block);
// The collision sound (0..4) for a landing after a fall of the given height, or -1 for none.
int CollisionSoundFor(float fall_height);
