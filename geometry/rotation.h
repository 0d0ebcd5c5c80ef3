#pragma once

#include <span>

#include "flag.h"

// Applies a transform to all 676 vertices; only x, y and z change.
void applyTransform(SurfaceGrid& grid, const Transform4& m);

// Moves the surface and adds the move to modelOffset.
void translate(FlagGeometry& flag, int dx, int dy, int dz);

// Rotate the current surface by whole degrees about an axis through modelOffset (its components
// truncated to ints): a move to the origin, the rotation and the move back, each a transform of
// every vertex. These are the rule that the key replay below follows to the last bit.
void rotateX(FlagGeometry& flag, int degrees);
void rotateY(FlagGeometry& flag, int degrees);
void rotateZ(FlagGeometry& flag, int degrees);

// Replays rotation keys ("X" "Y" "Z" turn by -3 degrees, "x" "y" "z" by +3, anything else is
// skipped) on the surface, one key after the other about `offset`: bit for bit what the same
// rotateX/Y/Z calls give, in a fraction of their time.
void replayRotationKeys(SurfaceGrid& grid, std::span<const char> keys, Vec3 offset);

// Rotates every vertex about the point `offset` (its components truncated to ints) by one
// rotation, a product of several.
void rotateAboutOffset(SurfaceGrid& grid, const Transform4& rotation, Vec3 offset);

enum class KeyResult { Handled = 0, Ignored = -2 };

// A character typed into the main window: rotation keys X Y Z x y z (logged and replayed on
// every recompute), moves H h L l J j K k B b F f; any other character is ignored.
KeyResult handleKey(FlagGeometry& flag, unsigned char key);
