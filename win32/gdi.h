#pragma once

#include <windows.h>

#include <utility>

// Owners of the handles the program gives back: each releases its handle exactly once, on every
// path (destruction, reset, a move over it). Move-only.
template <typename Value, auto release> class Owner {
  public:
    Owner() = default;
    explicit Owner(Value value) : value_(value) {}
    Owner(Owner&& other) noexcept : value_(std::exchange(other.value_, Value{})) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Value{}));
        return *this;
    }
    ~Owner() { reset(); }

    void reset(Value value = Value{}) {
        if (value_ != Value{}) release(value_);
        value_ = value;
    }
    [[nodiscard]] const Value& get() const { return value_; }
    explicit operator bool() const { return value_ != Value{}; }

  private:
    Value value_{};
};

inline void deleteGdiObject(HGDIOBJ object) {
    DeleteObject(object);
}
inline void deleteMemoryDC(HDC dc) {
    DeleteDC(dc);
}
inline void closeKernelHandle(HANDLE handle) {
    CloseHandle(handle);
}
inline void destroyOwnedWindow(HWND window) {
    DestroyWindow(window);
}

// A font, brush, pen or bitmap, deleted with DeleteObject.
template <typename Handle> using GdiObject = Owner<Handle, deleteGdiObject>;
using Font = GdiObject<HFONT>;
using Brush = GdiObject<HBRUSH>;
using Pen = GdiObject<HPEN>;
using Bitmap = GdiObject<HBITMAP>;

// A memory device context, deleted with DeleteDC.
using MemoryDC = Owner<HDC, deleteMemoryDC>;
[[nodiscard]] inline MemoryDC compatibleDC(HDC dc) {
    return MemoryDC(CreateCompatibleDC(dc));
}

// A kernel object (an event), closed with CloseHandle.
using KernelHandle = Owner<HANDLE, closeKernelHandle>;

// A window the program made and destroys itself (with its child windows).
using OwnedWindow = Owner<HWND, destroyOwnedWindow>;

// A window's device context, from GetDC, given back with ReleaseDC.
class WindowDC {
  public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    [[nodiscard]] HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

// BeginPaint and EndPaint around one WM_PAINT.
class PaintDC {
  public:
    explicit PaintDC(HWND window) : window_(window) { dc_ = BeginPaint(window, &paint_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(window_, &paint_); }
    [[nodiscard]] HDC get() const { return dc_; }

  private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_ = nullptr;
};

// An object selected into a DC for a while: the DC's previous object goes back in on the way
// out, so that the object can be deleted (a selected object cannot be).
struct Selection {
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
    friend bool operator==(const Selection&, const Selection&) = default;
};
inline void restoreSelection(Selection selection) {
    if (selection.dc && selection.previous) SelectObject(selection.dc, selection.previous);
}
using SelectedObject = Owner<Selection, restoreSelection>;
[[nodiscard]] inline SelectedObject selectInto(HDC dc, HGDIOBJ object) {
    return SelectedObject({dc, SelectObject(dc, object)});
}
