#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <random>

#include "win32/gdi.h"
#include "render/frame.h"
#include "render/line.h"

namespace {
// A top-down 32-bit DIB section with a memory DC, as the program's frame buffers are made.
struct Canvas {
    MemoryDC memory = compatibleDC(nullptr); // compatible with the screen
    Bitmap bitmap;
    SelectedObject selected;
    HDC dc = memory.get();
    FrameView view;
    Canvas() {
        BITMAPINFO info{};
        info.bmiHeader = {
            sizeof info.bmiHeader, kFrameWidth, -kFrameHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap.reset(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        selected = selectInto(dc, bitmap.get());
        view = {static_cast<std::uint32_t*>(bits), kFrameWidth, kFrameHeight, kFrameWidth};
    }
    void clear() {
        GdiFlush();
        fillFrame(view, {0, 0, 0});
    }
};
} // namespace

// The renderer draws its wireframe lines itself; they must set the same pixels as the
// platform's LineTo with a 1-pixel pen, end point left out, however far outside the ends lie.
TEST(LineRule, SameAsThePlatformsLineTo) {
    Canvas gdi, ours;
    const Pen pen(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
    const SelectedObject penSelected = selectInto(gdi.dc, pen.get());
    std::mt19937 random(20261210);
    std::uniform_int_distribution<int> inside(-40, 680);
    std::uniform_int_distribution<int> outside(-30000, 30000);
    for (int k = 0; k < 3000; ++k) {
        const bool distant = k % 4 == 3;
        const int x0 = distant ? outside(random) : inside(random), y0 = inside(random);
        int x1 = inside(random), y1 = distant ? outside(random) : inside(random);
        if (k % 7 == 0) x1 = x0 + (k % 3) - 1; // nearly vertical
        if (k % 11 == 0) y1 = y0;              // horizontal
        gdi.clear();
        ours.clear();
        MoveToEx(gdi.dc, x0, y0, nullptr);
        LineTo(gdi.dc, x1, y1);
        GdiFlush();
        drawLine(ours.view, x0, y0, x1, y1, 0xFFFFFF);
        for (int row = 0; row < kFrameHeight; ++row)
            for (int column = 0; column < kFrameWidth; ++column)
                ASSERT_EQ(ours.view.at(column, row), gdi.view.at(column, row) & 0xFFFFFF)
                    << "line (" << x0 << ", " << y0 << ") to (" << x1 << ", " << y1 << ") at pixel "
                    << column << ", " << row;
    }
}
