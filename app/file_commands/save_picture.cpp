#include "save_picture.h"

#include <dlgs.h>

#include <string>

#include "file_dialog.h"
#include "imagefiles/bmp_writer.h"
#include "imagefiles/jpeg_writer.h"
#include "messages.h"
#include "win32/program_windows.h"
#include "win32/slider.h"

namespace {
constexpr wchar_t kSaveTitle[] = L"Vexarond 名前を付けて保存";
constexpr wchar_t kDefaultName[] = L"SampleFlag";
constexpr wchar_t kJpegDialogName[] = L"JPEGDIALOG";
constexpr wchar_t kBmpDialogName[] = L"SETCOLORDEPTHDIALOG";
constexpr wchar_t kGifDialogName[] = L"GIFANIMATIONDIALOG";
constexpr wchar_t kWebpDialogName[] = L"WEBPANIMATIONDIALOG";
constexpr int kQualityPositions = kJpegQualityMax - kJpegQualityMin; // the slider: 0..40

// The file name box's extension follows the type box: the type's extension (.jpg, .bmp, ...) in
// place of what the name ended in from its last '.', or appended where it has none.
void rewriteExtension(HWND dialog) {
    const LRESULT type = SendDlgItemMessageW(dialog, cmb1, CB_GETCURSEL, 0, 0);
    if (type < 0) return;
    wchar_t text[kFilePathCapacity] = {};
    GetDlgItemTextW(dialog, edt1, text, static_cast<int>(kFilePathCapacity));
    std::wstring name = text;
    const std::size_t dot = name.rfind(L'.');
    name.resize(dot == std::wstring::npos ? name.size() : dot);
    name += fileTypeExtension(static_cast<PictureFileType>(type + 1));
    SetDlgItemTextW(dialog, edt1, name.c_str());
}

// The hook's window is a child of the explorer-style dialog, whose controls and place these are.
UINT_PTR CALLBACK saveHook(HWND hook, UINT message, WPARAM, LPARAM lParam) {
    centreWhenLaidOut(hook, message, lParam);
    if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == CDN_TYPECHANGE)
        rewriteExtension(GetParent(hook));
    return 0;
}

INT_PTR CALLBACK jpegDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    SceneState& s = sceneState();
    HWND bar = GetDlgItem(dialog, IDC_JPEG_QUALITY);
    HWND label = GetDlgItem(dialog, IDC_JPEG_QUALITY_LABEL);
    SliderRecord quality{s.save.jpegQualityPos, 0, kQualityPositions};
    switch (message) {
    case WM_INITDIALOG:
        showSlider(quality, bar, label, 0);
        CheckDlgButton(dialog, IDC_JPEG_PROGRESSIVE, BST_UNCHECKED); // unticked every time
        centreOnDesktop(dialog);
        return TRUE;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) != bar) return FALSE;
        // Kept at once: cancelling the dialog does not take it back.
        sliderStep(quality, bar, label, LOWORD(wParam), HIWORD(wParam), 0);
        s.save.jpegQualityPos = quality.position;
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            s.save.jpegProgressive =
                IsDlgButtonChecked(dialog, IDC_JPEG_PROGRESSIVE) == BST_CHECKED;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}
void setChecked(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

// The GIF and WebP animations' settings dialog. The WebP one also has the lossless box and a
// quality slider, which counts only when the box is clear; the slider keeps its place at once,
// as the JPEG one does, the boxes when OK is pressed.
INT_PTR CALLBACK animationDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    SaveSettings& save = sceneState().save;
    HWND bar = GetDlgItem(dialog, IDC_WEBP_QUALITY); // none in the GIF dialog
    HWND label = GetDlgItem(dialog, IDC_WEBP_QUALITY_LABEL);
    SliderRecord quality{save.webpQualityPos, 0, kQualityPositions};
    constexpr int kShowQuality = -kJpegQualityMin; // the label shows the quality itself
    switch (message) {
    case WM_INITDIALOG:
        setChecked(dialog, IDC_ANIMATION_SEAMLESS, save.seamless);
        setChecked(dialog, IDC_ANIMATION_TRANSPARENT, save.transparent);
        setChecked(dialog, IDC_GIF_DITHER, save.gifDither);
        setChecked(dialog, IDC_WEBP_LOSSLESS, save.webpLossless);
        if (bar) {
            showSlider(quality, bar, label, kShowQuality);
            EnableWindow(bar, !save.webpLossless);
        }
        centreOnDesktop(dialog);
        return TRUE;
    case WM_HSCROLL:
        if (!bar || reinterpret_cast<HWND>(lParam) != bar) return FALSE;
        sliderStep(quality, bar, label, LOWORD(wParam), HIWORD(wParam), kShowQuality);
        save.webpQualityPos = quality.position;
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_WEBP_LOSSLESS:
            if (bar) EnableWindow(bar, !isChecked(dialog, IDC_WEBP_LOSSLESS));
            return TRUE;
        case IDOK:
            save.seamless = isChecked(dialog, IDC_ANIMATION_SEAMLESS);
            save.transparent = isChecked(dialog, IDC_ANIMATION_TRANSPARENT);
            if (GetDlgItem(dialog, IDC_GIF_DITHER))
                save.gifDither = isChecked(dialog, IDC_GIF_DITHER);
            if (bar) save.webpLossless = isChecked(dialog, IDC_WEBP_LOSSLESS);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

struct DepthButton {
    int id, depth;
};
constexpr DepthButton kDepthButtons[] = {{IDC_BMP_DEPTH_16, kBmpDepth16},
                                         {IDC_BMP_DEPTH_24, kBmpDepth24},
                                         {IDC_BMP_DEPTH_32, kBmpDepth32}};

INT_PTR CALLBACK bmpDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    SceneState& s = sceneState();
    switch (message) {
    case WM_INITDIALOG:
        for (const DepthButton& b : kDepthButtons)
            CheckDlgButton(dialog, b.id,
                           b.depth == s.save.bmpSaveDepth ? BST_CHECKED : BST_UNCHECKED);
        centreOnDesktop(dialog);
        return TRUE;
    case WM_COMMAND:
        for (const DepthButton& b : kDepthButtons)
            if (LOWORD(wParam) == b.id) {
                s.save.bmpSaveDepth = b.depth; // kept at once, also through a cancel
                return TRUE;
            }
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

// The settings dialog of a file type, or none (PNG has nothing to set).
struct SettingsDialog {
    const wchar_t* name;
    DLGPROC procedure;
};
SettingsDialog settingsDialogOf(PictureFileType type) {
    switch (type) {
    case PictureFileType::Jpeg: return {kJpegDialogName, jpegDialogProc};
    case PictureFileType::Bmp: return {kBmpDialogName, bmpDialogProc};
    case PictureFileType::GifAnimation: return {kGifDialogName, animationDialogProc};
    case PictureFileType::WebpAnimation: return {kWebpDialogName, animationDialogProc};
    default: return {nullptr, nullptr};
    }
}
} // namespace

PictureFileType ChooseSaveFile(HWND owner) {
    // The capture's dialog also offers the animations; Ctrl+S saves one picture.
    const FileDialog kind = sceneState().captureRunning ? FileDialog::Capture : FileDialog::Save;
    return runFileDialog(owner, kind, kSaveTitle, saveHook);
}

FrameFileSettings saveFileSettings(PictureFileType fileType) {
    const SceneState& s = sceneState();
    FrameFileSettings settings;
    switch (fileType) {
    case PictureFileType::Bmp: settings.format = ImageFormat::Bmp; break;
    case PictureFileType::Png: settings.format = ImageFormat::Png; break;
    case PictureFileType::GifAnimation: settings.format = ImageFormat::Gif; break;
    case PictureFileType::WebpAnimation: settings.format = ImageFormat::Webp; break;
    default: settings.format = ImageFormat::Jpeg; break;
    }
    settings.bmpDepth = s.save.bmpSaveDepth;
    settings.jpegQuality = kJpegQualityMin + s.save.jpegQualityPos;
    settings.progressive = s.save.jpegProgressive;
    if (isAnimationFile(fileType)) {
        // As vexarond-render --cycle [--transparent] [--quality Q] [--dither] writes them.
        settings.transparent = s.save.transparent;
        settings.webpQuality =
            s.save.webpLossless ? kWebpLossless : kJpegQualityMin + s.save.webpQualityPos;
        settings.dither = s.save.gifDither;
    }
    return settings;
}

PictureFileType SaveDisplayedPicture(HWND owner) {
    SceneState& s = sceneState();
    if (s.filePath.empty()) s.filePath = kDefaultName;
    const PictureFileType type = ChooseSaveFile(owner);
    if (type == PictureFileType::None) return type;
    const SettingsDialog settings = settingsDialogOf(type);
    if (settings.name &&
        DialogBoxParamW(s.programInstance, settings.name, owner, settings.procedure, 0) != IDOK)
        return PictureFileType::None;
    if (s.captureRunning) return type;
    if (!writeFrame(s.filePath, displayedFrame(), saveFileSettings(type)).ok())
        MessageBoxW(owner, kCannotWriteText, kErrorCaption, MB_OK);
    return type;
}
