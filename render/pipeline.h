#pragma once

#include "geometry/flag.h"
#include "frame.h"

// The per-frame preparation of the flag's quads, run in every display mode.
// Face normals and projected corners; at frame scale K the projection is K times larger.
void prepareFaces(FlagGeometry& flag, int scale = 1);
void averageVertexNormals(FlagGeometry& flag); // vertex normal = mean of its quads' normals
void computeScreenPlanes(FlagGeometry& flag);  // plane of each projected quad

// Screen placement of projected points: column originX + trunc(sx), row originY - trunc(sy).
struct ScreenOrigin {
    int x = kClientWidth / 2;
    int y = kClientHeight / 2;
};

// Draws the quad's four edges as 1-pixel lines in the given pixel colour.
void drawPolygonWire(const FlagGeometry& flag, const PolygonRecord& polygon, FrameView view,
                     ScreenOrigin origin, std::uint32_t pixel);
// Draws every quad's edges as drawPolygonWire does, quad by quad, with the same pixels; an
// edge two quads share is drawn once.
void drawFlagWire(const FlagGeometry& flag, FrameView view, ScreenOrigin origin,
                  std::uint32_t pixel);
