#include "program.h"
#include "scene_state.h"
#include "texts.h"

static void paintSplash(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HBITMAP picture = LoadBitmapW(sceneState().programInstance, kSplashBitmapName);
    if (picture) {
        BITMAP info;
        GetObjectW(picture, sizeof info, &info);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, picture);
        BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(picture);
    }
    EndPaint(window, &ps);
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
