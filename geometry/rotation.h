#pragma once

#include "flag.h"

// Applies a transform to all 676 vertices; only x, y and z change.
void applyTransform(SurfaceGrid& grid, const Transform4& m);

// Rotates every vertex about the point `offset` (its components truncated to ints).
void rotateAboutOffset(SurfaceGrid& grid, const Transform4& rotation, Vec3 offset);

// Moves the surface and adds the move to modelOffset.
void translate(FlagGeometry& flag, int dx, int dy, int dz);

// Rotate the current surface by whole degrees about an axis through modelOffset.
void rotateX(FlagGeometry& flag, int degrees);
void rotateY(FlagGeometry& flag, int degrees);
void rotateZ(FlagGeometry& flag, int degrees);

enum class KeyResult { Handled = 0, Ignored = -2 };

// A character typed into the main window: rotation keys X Y Z x y z (logged and replayed on
// every recompute), moves H h L l J j K k B b F f; any other character is ignored.
KeyResult handleKey(FlagGeometry& flag, unsigned char key);
