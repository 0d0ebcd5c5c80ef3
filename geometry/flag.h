#pragma once

#include <array>
#include <cstdint>

#include "transform.h"
#include "vec3.h"

inline constexpr int kNetSize = 9;   // control points per side (degree 8)
inline constexpr int kGridSize = 26; // surface vertices per side
inline constexpr int kQuadsPerSide = kGridSize - 1;
inline constexpr int kQuadCount = kQuadsPerSide * kQuadsPerSide; // 625
inline constexpr int kVertexCount = kGridSize * kGridSize;       // 676
inline constexpr double kGridStep = 0.04; // parameter step between grid vertices
inline constexpr int kKeyLogSize = 4096;
inline constexpr int kNone = -1; // "no reference" in edge and polygon records

// One control point or surface vertex.
struct MeshVertex {
    double x = 0, y = 0, z = 0;
    double w = 1;                  // homogeneous coordinate, always 1
    double nx = 0, ny = 0, nz = 0; // vertex normal (surface vertices only)
    double sx = 0, sy = 0, sz = 0; // projected position (surface vertices only)
    double u = 0, v = 0;           // texture coordinates
    std::int32_t edge = 0;         // 1 on the grid's outer rows and columns
};

using ControlNet = std::array<std::array<MeshVertex, kNetSize>, kNetSize>;    // [row k][column c]
using SurfaceGrid = std::array<std::array<MeshVertex, kGridSize>, kGridSize>; // [row i][column j]

// The surface's x and z for one control net's x and z. The wave moves control points in y
// only, so from frame to frame these stay the same and need not be summed again.
struct SurfaceXZ {
    bool valid = false;
    double netX[kNetSize][kNetSize] = {}, netZ[kNetSize][kNetSize] = {};
    double x[kGridSize][kGridSize] = {}, z[kGridSize][kGridSize] = {};
};

// Vertex references are numbers into the surface grid, row * kGridSize + column, so the
// topology stays valid when a scene is copied.
struct EdgeRef {
    int from = kNone;
    int to = kNone;
};

// The closed outline of one quad: four edges, then an end marker whose `from` is kNone.
struct QuadEdges {
    std::array<EdgeRef, 5> edge;
};

struct PolygonRecord {
    int index = 0;     // quad number counted from 1
    Vec3 normal;       // unit normal of the quad in model space
    Vec3 screenNormal; // unit normal of the projected quad
    int edges = kNone; // quad number in quadEdges; kNone marks the terminator
    int red = 0, green = 0, blue = 0;
    double screenPlaneOffset = 0;
    bool inFrontOfViewer = false; // this frame: every corner has z < the viewing distance
};

struct IntRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const IntRect&, const IntRect&) = default;
};

// The flag's geometry: rest shape, current surface, fixed topology and the user's moves.
struct FlagGeometry {
    ControlNet controlNet;
    ControlNet wavedNet;
    SurfaceGrid surfaceGrid;
    std::array<QuadEdges, kQuadCount> quadEdges;
    std::array<PolygonRecord, kQuadCount + 1> polygonList;
    bool topologyBuilt = false;
    Vec3 modelOffset; // always whole numbers
    std::array<char, kKeyLogSize> keyLog{};
    int keyCount = 0;
    // Rotation keys typed after the log is full, folded into one rotation about the origin and
    // applied after the log's replay: no key is lost, the logged ones stay exact, and a frame
    // costs no more than with a full log.
    Transform4 overflowRotation = identityTransform();
    bool overflowed = false;
    SurfaceXZ surfaceXZ; // of the last waved net
};

inline MeshVertex& gridVertex(SurfaceGrid& grid, int number) {
    return grid[number / kGridSize][number % kGridSize];
}
inline const MeshVertex& gridVertex(const SurfaceGrid& grid, int number) {
    return grid[number / kGridSize][number % kGridSize];
}

// Fits the source's proportions into the limit and centres it, in 10-bit fixed point.
// A source or limit without positive width and height yields the limit unchanged.
[[nodiscard]] IntRect fitRectangle(IntRect source, IntRect limit);

inline constexpr int kDefaultPictureWidth = 350;
inline constexpr int kDefaultPictureHeight = 260;

// Sets x and z of every control point from the flag size; y and w are left alone.
// A picture size that is not positive falls back to the default 350 x 260 flag.
void shapeControlNet(ControlNet& net, int pictureWidth, int pictureHeight, bool fitFlagToPicture);

// Bernstein basis polynomial of degree 8, index n in 0..8.
[[nodiscard]] double bernstein(double t, int n);

void evaluateSurface(const ControlNet& net, SurfaceGrid& grid);
// The same surface, taking x and z from `kept` when the net's x and z are the very ones it holds
// (and keeping them there otherwise).
void evaluateSurface(const ControlNet& net, SurfaceGrid& grid, SurfaceXZ& kept);
void buildQuadEdges(std::array<QuadEdges, kQuadCount>& quadEdges);
void buildPolygonList(std::array<PolygonRecord, kQuadCount + 1>& polygonList);

// Resets every control point to the rest state before shaping: y = 0, w = 1, other fields 0.
void clearControlNet(ControlNet& net);
