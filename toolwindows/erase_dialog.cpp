#include "erase_dialog.h"

#include <cstdio>
#include <iterator>
#include <vector>

#include "win32/shared_state.h"
#include "tool_window.h"

namespace {
constexpr wchar_t kDialogName[] = L"EIMAGEDIALOG";
constexpr wchar_t kCursorName[] = L"SYRINGECUR";
constexpr RECT kPreviewBox{10, 10, 160, 150}; // dialog units: the preview frame

// What the dialog keeps while it is open.
struct EraseDialog {
    Colour openedWith;
    RECT previewRect{};
    std::vector<std::uint32_t> preview; // previewRect's pixels, top row first
    HCURSOR syringe = nullptr;
};

Colour currentColour() {
    const EraseState& e = sharedState().core.erase;
    return {e.eraseColour[0], e.eraseColour[1], e.eraseColour[2]};
}

// The picture fitted into the preview frame, sampled as the flag samples it.
void buildPreview(EraseDialog& dialog, HWND window) {
    if (!sharedState().core.pictureLoaded()) return;
    const TextureImage& picture = *sharedState().core.picture;
    RECT box = kPreviewBox;
    MapDialogRect(window, &box);
    const IntRect fitted = fitRectangle({0, 0, picture.width, picture.height},
                                        {box.left, box.top, box.right, box.bottom});
    dialog.previewRect = {fitted.left, fitted.top, fitted.right, fitted.bottom};
    const int w = fitted.right - fitted.left, h = fitted.bottom - fitted.top;
    if (w <= 0 || h <= 0) return;
    dialog.preview.resize(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Sample s =
                samplePicture(picture, static_cast<double>(x) / w, static_cast<double>(y) / h);
            dialog.preview[static_cast<std::size_t>(y) * w + x] =
                packPixel({s.red, s.green, s.blue});
        }
}

void drawPreview(const EraseDialog& dialog, HDC dc) {
    const RECT& r = dialog.previewRect;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (dialog.preview.empty()) return;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    SetDIBitsToDevice(dc, r.left, r.top, w, h, 0, 0, 0, h, dialog.preview.data(), &info,
                      DIB_RGB_COLORS);
}

// The colour's three bytes and a swatch of it.
void showEraseColour(HWND window) {
    const Colour c = currentColour();
    const int ids[] = {IDC_ERASE_RED, IDC_ERASE_GREEN, IDC_ERASE_BLUE};
    const int values[] = {c.red, c.green, c.blue};
    for (std::size_t k = 0; k < std::size(ids); ++k) {
        wchar_t text[16];
        std::swprintf(text, std::size(text), L"%4d", values[k]);
        SetDlgItemTextW(window, ids[k], text);
    }
    RECT swatch;
    GetWindowRect(GetDlgItem(window, IDC_ERASE_SWATCH), &swatch);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&swatch), 2);
    InflateRect(&swatch, -1, -1);
    const WindowDC dc(window);
    const Brush brush(CreateSolidBrush(RGB(c.red, c.green, c.blue)));
    FillRect(dc.get(), &swatch, brush.get());
}

bool inPreview(const EraseDialog& dialog, LPARAM lParam, POINT& point) {
    point = {LOWORD(lParam), HIWORD(lParam)};
    const RECT& r = dialog.previewRect;
    return point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom;
}

// The colour as the preview shows it on the screen, which may be found nowhere in the picture.
// Where the screen cannot be read (the dialog hidden or covered), the preview's own pixel is
// what it would show.
void pick(const EraseDialog& dialog, HWND window, POINT point) {
    SetCursor(dialog.syringe);
    COLORREF shown;
    {
        const WindowDC dc(window);
        shown = GetPixel(dc.get(), point.x, point.y);
    }
    Colour colour{GetRValue(shown), GetGValue(shown), GetBValue(shown)};
    const RECT& r = dialog.previewRect;
    if (shown == CLR_INVALID && !dialog.preview.empty())
        colour = unpackPixel(
            dialog.preview[static_cast<std::size_t>(point.y - r.top) * (r.right - r.left) +
                           (point.x - r.left)]);
    setEraseColour(sharedState().core, colour);
    showEraseColour(window);
}

// The dialog's record is kept in the dialog window itself (DWLP_USER), from WM_INITDIALOG on; the
// few messages before it find none and take the default handling.
INT_PTR CALLBACK eraseDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
    auto* open = reinterpret_cast<EraseDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!open) return FALSE;
    EraseDialog& dialog = *open;
    POINT point;
    switch (message) {
    case WM_INITDIALOG:
        dialog.syringe = static_cast<HCURSOR>(LoadImageW(sharedState().programInstance, kCursorName,
                                                         IMAGE_CURSOR, 32, 32, LR_SHARED));
        dialog.openedWith = currentColour();
        centreOnDesktop(window);
        buildPreview(dialog, window);
        return TRUE;
    case WM_PAINT: {
        {
            const PaintDC paint(window);
            drawPreview(dialog, paint.get());
        }
        showEraseColour(window);
        return TRUE;
    }
    case WM_MOUSEMOVE:
        if (inPreview(dialog, lParam, point)) SetCursor(dialog.syringe);
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
        if (inPreview(dialog, lParam, point)) pick(dialog, window, point);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(window, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            setEraseColour(sharedState().core, dialog.openedWith);
            EndDialog(window, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}
} // namespace

void runEraseDialog(HWND owner) {
    EraseDialog open;
    // No window of the program takes input meanwhile: a picture loaded or a setting changed
    // under the dialog would leave its preview, and the colours picked from it, stale.
    const ProgramModal modal(owner);
    DialogBoxParamW(sharedState().programInstance, kDialogName, owner, eraseDialogProc,
                    reinterpret_cast<LPARAM>(&open));
}
