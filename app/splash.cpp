#include "win32/gdi.h"
#include "program.h"
#include "scene_state.h"
#include "texts.h"

static void paintSplash(HWND window) {
    const PaintDC dc(window);
    const Bitmap picture(LoadBitmapW(sceneState().programInstance, kSplashBitmapName));
    if (!picture) return;
    BITMAP info;
    GetObjectW(picture.get(), sizeof info, &info);
    const MemoryDC memory = compatibleDC(dc.get());
    const SelectedObject selected = selectInto(memory.get(), picture.get());
    BitBlt(dc.get(), 0, 0, info.bmWidth, info.bmHeight, memory.get(), 0, 0, SRCCOPY);
}

LRESULT CALLBACK splashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: InvalidateRect(window, nullptr, TRUE); return 0;
    case WM_PAINT: paintSplash(window); return 0;
    case WM_LBUTTONDOWN: SendMessageW(window, WM_CLOSE, 0, 0); return 0;
    case WM_CLOSE: DestroyWindow(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}
