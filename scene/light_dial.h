#pragma once

#include "geometry/vec3.h"

// The light window's dial: a client point inside its circle (centre 80, 80, radius 65) as a
// unit direction toward the viewer's side.
[[nodiscard]] Vec3 lightDirectionFromDial(int x, int y);
// Whether a client point is inside the dial's pick region, the disc of radius 64 about the
// centre, one pixel inside the drawn circle. The window and the headless renderer both ask here.
[[nodiscard]] bool insideDialPickRegion(int x, int y);
