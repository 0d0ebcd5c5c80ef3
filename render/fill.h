#pragma once

#include "geometry/flag.h"
#include "frame.h"
#include "pipeline.h"
#include "shading.h"

// Picture pixels close to the erase colour are left out of the textured flag.
struct EraseState {
    bool eraseEnabled = false;
    int eraseTolerance = 50;
    std::uint8_t eraseColour[3] = {128, 128, 128}; // red, green, blue
    double eraseLuma = 0;
    double eraseRedDiff = 0;
    double eraseBlueDiff = 0;
};

// Sets the erase colour and the three values the erase test compares with.
void setEraseColour(EraseState& erase, Colour colour);

// True when a sampled colour is near enough to the erase colour to be left out.
[[nodiscard]] bool isErased(const EraseState& erase, double red, double green, double blue);

// Crossings only this far out are searched; the window's client area spans -320 to 320, and a
// frame K times larger searches K times as far.
inline constexpr double kSpanSearchLimit = 5000;

// What one frame's fill reads besides the polygon.
struct FillContext {
    FrameView view;
    std::int32_t* depth = nullptr; // depthCellCountAt(scale) cells
    int depthRowCells = kDepthRowCells;
    ScreenOrigin origin;
    double spanSearchLimit = kSpanSearchLimit;
    FrameLight light;
    const TextureImage* picture = nullptr; // set: the picture instead of the polygon's colour
    const EraseState* erase = nullptr;
};

// One end of a row's span: its x (a whole number) and the attributes interpolated there.
struct SpanEnd {
    double x = 0;
    Vec3 normal;
    double u = 0, v = 0;
};

void findSpanEnds(const FlagGeometry& flag, const PolygonRecord& polygon, int y, SpanEnd& left,
                  SpanEnd& right, double searchLimit = kSpanSearchLimit);
void fillSpan(const PolygonRecord& polygon, const SpanEnd& left, const SpanEnd& right, int y,
              const FillContext& context);
// Draws one quad as a shaded, depth-tested surface.
void fillPolygon(const FlagGeometry& flag, const PolygonRecord& polygon,
                 const FillContext& context);
// Draws the polygon list up to its terminator, in order: the pixels fillPolygon gives on each
// polygon in turn.
void fillPolygons(const FlagGeometry& flag, const FillContext& context);
