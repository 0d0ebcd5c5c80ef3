#include "texture_loading.h"

#include <filesystem>

#include "file_dialog.h"
#include "imagefiles/picture_file.h"
#include "messages.h"

namespace {
constexpr wchar_t kOpenTitle[] = L"Vexarond ファイルを開く";

UINT_PTR CALLBACK openHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    centreWhenLaidOut(hook, message, lParam);
    return 0;
}

PictureLoad loadAs(HWND owner, PictureFormat format) {
    SceneState& s = sceneState();
    PictureResult read = readPictureFile(std::filesystem::path(s.filePath), format);
    if (!read.ok()) {
        MessageBoxW(owner, pictureErrorJapanese(read.error), kErrorCaption, MB_OK);
        return PictureLoad::Kept;
    }
    putPicture(s.core, std::move(read.picture));
    return PictureLoad::Loaded;
}
} // namespace

PictureFileType ChooseOpenFile(HWND owner) {
    return runFileDialog(owner, FileDialog::Open, kOpenTitle, openHook);
}

PictureLoad LoadTexture(HWND owner) {
    const PictureFileType type = ChooseOpenFile(owner);
    if (type == PictureFileType::None) return PictureLoad::Kept;
    sceneState().imageFileType = type;
    switch (type) {
    case PictureFileType::Bmp: return LoadBmpTexture(owner);
    case PictureFileType::Png: return LoadPngTexture(owner);
    default: return LoadJpegTexture(owner);
    }
}

PictureLoad LoadBmpTexture(HWND owner) {
    return loadAs(owner, PictureFormat::Bmp);
}
PictureLoad LoadJpegTexture(HWND owner) {
    return loadAs(owner, PictureFormat::Jpeg);
}
PictureLoad LoadPngTexture(HWND owner) {
    return loadAs(owner, PictureFormat::Png);
}
