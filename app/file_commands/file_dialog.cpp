#include "file_dialog.h"

#include <cderr.h>

#include <algorithm>

#include "messages.h"
#include "win32/program_windows.h"

namespace {
// Each pattern begins with a space, as the dialogs have always shown them.
constexpr wchar_t kFilter[] = L"JPEGファイル(*.jpg)\0 *.jpg\0BMPファイル(*.bmp)\0 *.bmp\0";
constexpr wchar_t kDefaultExtension[] = L"jpg";
} // namespace

PictureFileType runFileDialog(HWND owner, FileDialog kind, const wchar_t* title,
                              LPOFNHOOKPROC hook) {
    SceneState& s = sceneState();
    wchar_t path[kFilePathCapacity] = {};
    s.filePath.copy(path, std::min(s.filePath.size(), kFilePathCapacity - 1));
    OPENFILENAMEW dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = static_cast<DWORD>(s.imageFileType);
    dialog.lpstrFile = path;
    dialog.nMaxFile = static_cast<DWORD>(kFilePathCapacity);
    dialog.lpstrTitle = title;
    dialog.lpstrDefExt = kDefaultExtension;
    dialog.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_ENABLESIZING;
    dialog.lpfnHook = hook;
    if (kind == FileDialog::Save) dialog.Flags |= OFN_OVERWRITEPROMPT;
    const BOOL chosen =
        kind == FileDialog::Save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    if (!chosen) {
        // A name longer than the buffer closes the dialog without a word from it.
        if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            MessageBoxW(owner, kNameTooLongText, kErrorCaption, MB_OK);
        return PictureFileType::None;
    }
    s.filePath = path;
    return static_cast<PictureFileType>(dialog.nFilterIndex) == PictureFileType::Bmp
               ? PictureFileType::Bmp
               : PictureFileType::Jpeg;
}

void centreWhenLaidOut(HWND hook, UINT message, LPARAM lParam) {
    // The hook's window is a child of the explorer-style dialog: the dialog itself is centred.
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_INITDONE)
        centreOnDesktop(GetParent(hook));
}
