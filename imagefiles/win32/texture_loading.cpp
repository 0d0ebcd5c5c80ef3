#include "texture_loading.h"

#include <commdlg.h>

#include <algorithm>
#include <filesystem>

#include "app/shared_state.h"
#include "imagefiles/picture_file.h"
#include "toolwindows/tool_window.h"

namespace {
constexpr wchar_t kOpenTitle[] = L"Vexarond ファイルを開く";
// Each pattern begins with a space, as the dialog has always shown them.
constexpr wchar_t kOpenFilter[] = L"JPEGファイル(*.jpg)\0 *.jpg\0BMPファイル(*.bmp)\0 *.bmp\0";
constexpr wchar_t kDefaultExtension[] = L"jpg";
constexpr std::size_t kPathCapacity = 256; // the dialog's file name buffer, terminator included
constexpr wchar_t kErrorCaption[] = L"Error";

// The hook's window is a child of the explorer-style dialog: the dialog itself is centred.
UINT_PTR CALLBACK openHook(HWND hook, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) centreOnDesktop(GetParent(hook));
    return 0;
}

int loadAs(HWND owner, PictureFormat format) {
    SharedState& s = sharedState();
    PictureResult read = readPictureFile(std::filesystem::path(s.filePath), format);
    if (!read.ok()) {
        MessageBoxW(owner, pictureErrorJapanese(read.error), kErrorCaption, MB_OK);
        return -1;
    }
    putPicture(s.core, std::move(read.picture));
    return 0;
}
} // namespace

int ChooseOpenFile(HWND owner) {
    SharedState& s = sharedState();
    wchar_t path[kPathCapacity] = {};
    s.filePath.copy(path, std::min(s.filePath.size(), kPathCapacity - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kOpenFilter;
    dialog.nFilterIndex = static_cast<DWORD>(s.imageFileType);
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(kPathCapacity);
    dialog.lpstrTitle = kOpenTitle;
    dialog.lpstrDefExt = kDefaultExtension;
    dialog.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    dialog.lpfnHook = openHook;
    if (!GetOpenFileNameW(&dialog)) return -1;
    s.filePath = path;
    return dialog.nFilterIndex == kBmpFile ? kBmpFile : kJpegFile;
}

int LoadTexture(HWND owner) {
    SharedState& s = sharedState();
    switch (ChooseOpenFile(owner)) {
    case kJpegFile: s.imageFileType = kJpegFile; return LoadJpegTexture(owner);
    case kBmpFile: s.imageFileType = kBmpFile; return LoadBmpTexture(owner);
    default: return -1;
    }
}

int LoadBmpTexture(HWND owner) { return loadAs(owner, PictureFormat::Bmp); }
int LoadJpegTexture(HWND owner) { return loadAs(owner, PictureFormat::Jpeg); }
