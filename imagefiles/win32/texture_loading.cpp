#include "texture_loading.h"

#include <filesystem>

#include "app/shared_state.h"
#include "file_dialog.h"
#include "imagefiles/picture_file.h"
#include "messages.h"

namespace {
constexpr wchar_t kOpenTitle[] = L"Vexarond ファイルを開く";

UINT_PTR CALLBACK openHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    centreWhenLaidOut(hook, message, lParam);
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
    return runFileDialog(owner, FileDialog::Open, kOpenTitle, openHook);
}

int LoadTexture(HWND owner) {
    SharedState& s = sharedState();
    switch (ChooseOpenFile(owner)) {
    case kJpegFile: s.imageFileType = kJpegFile; return LoadJpegTexture(owner);
    case kBmpFile: s.imageFileType = kBmpFile; return LoadBmpTexture(owner);
    default: return -1;
    }
}

int LoadBmpTexture(HWND owner) {
    return loadAs(owner, PictureFormat::Bmp);
}
int LoadJpegTexture(HWND owner) {
    return loadAs(owner, PictureFormat::Jpeg);
}
