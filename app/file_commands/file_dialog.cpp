#include "file_dialog.h"

#include <cderr.h>

#include <algorithm>

#include "messages.h"
#include "win32/program_windows.h"

namespace {
// Each pattern begins with a space, as the dialogs have always shown them. A new type goes after
// the others, so that those keep their numbers.
constexpr wchar_t kPictureFilter[] =
    L"JPEGファイル(*.jpg)\0 *.jpg\0BMPファイル(*.bmp)\0 *.bmp\0PNGファイル(*.png)\0 *.png\0";
constexpr wchar_t kCaptureFilter[] =
    L"JPEGファイル(*.jpg)\0 *.jpg\0BMPファイル(*.bmp)\0 *.bmp\0PNGファイル(*.png)\0 *.png\0"
    L"GIFアニメーション(*.gif)\0 *.gif\0WebPアニメーション(*.webp)\0 *.webp\0";
constexpr int kPictureTypes = 3, kCaptureTypes = 5;
constexpr wchar_t kDefaultExtension[] = L"jpg";
} // namespace

const wchar_t* fileTypeExtension(PictureFileType type) {
    switch (type) {
    case PictureFileType::Bmp: return L".bmp";
    case PictureFileType::Png: return L".png";
    case PictureFileType::GifAnimation: return L".gif";
    case PictureFileType::WebpAnimation: return L".webp";
    default: return L".jpg";
    }
}

PictureFileType runFileDialog(HWND owner, FileDialog kind, const wchar_t* title,
                              LPOFNHOOKPROC hook) {
    SceneState& s = sceneState();
    wchar_t path[kFilePathCapacity] = {};
    s.filePath.copy(path, std::min(s.filePath.size(), kFilePathCapacity - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = owner;
    const bool capture = kind == FileDialog::Capture;
    const int types = capture ? kCaptureTypes : kPictureTypes;
    dialog.lpstrFilter = capture ? kCaptureFilter : kPictureFilter;
    dialog.nFilterIndex = static_cast<DWORD>(s.imageFileType);
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(kFilePathCapacity);
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = kDefaultExtension;
    dialog.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    dialog.lpfnHook = hook;
    if (kind != FileDialog::Open) dialog.Flags |= OFN_OVERWRITEPROMPT;
    const BOOL chosen =
        kind == FileDialog::Open ? GetOpenFileNameW(&dialog) : GetSaveFileNameW(&dialog);
    if (!chosen) {
        // A name longer than the buffer closes the dialog without a word from it.
        if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            MessageBoxW(owner, kNameTooLongText, kErrorCaption, MB_OK);
        return PictureFileType::None;
    }
    s.filePath = path;
    // A type outside the list (none chosen) is the first, as it always was.
    const int chosenType = static_cast<int>(dialog.nFilterIndex);
    return chosenType >= 2 && chosenType <= types ? static_cast<PictureFileType>(chosenType)
                                                  : PictureFileType::Jpeg;
}

void centreWhenLaidOut(HWND hook, UINT message, LPARAM lParam) {
    // The hook's window is a child of the explorer-style dialog: the dialog itself is centred.
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE)
        centreOnDesktop(GetParent(hook));
}
