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
constexpr int kQualityPositions = kJpegQualityMax - kJpegQualityMin; // the slider: 0..40

// The file name box's extension follows the type box: .jpg or .bmp in place of what the name
// ended in from its last '.', or appended where it has none.
void rewriteExtension(HWND dialog) {
    const LRESULT type = SendDlgItemMessageW(dialog, cmb1, CB_GETCURSEL, 0, 0);
    if (type != 0 && type != 1) return;
    wchar_t text[kFilePathCapacity] = {};
    GetDlgItemTextW(dialog, edt1, text, static_cast<int>(kFilePathCapacity));
    std::wstring name = text;
    const std::size_t dot = name.rfind(L'.');
    name.resize(dot == std::wstring::npos ? name.size() : dot);
    name += type == 0 ? L".jpg" : L".bmp";
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
} // namespace

PictureFileType ChooseSaveFile(HWND owner) {
    return runFileDialog(owner, FileDialog::Save, kSaveTitle, saveHook);
}

FrameFileSettings saveFileSettings(PictureFileType fileType) {
    const SceneState& s = sceneState();
    FrameFileSettings settings;
    settings.format = fileType == PictureFileType::Bmp ? ImageFormat::Bmp : ImageFormat::Jpeg;
    settings.bmpDepth = s.save.bmpSaveDepth;
    settings.jpegQuality = kJpegQualityMin + s.save.jpegQualityPos;
    settings.progressive = s.save.jpegProgressive;
    return settings;
}

PictureFileType SaveDisplayedPicture(HWND owner) {
    SceneState& s = sceneState();
    if (s.filePath.empty()) s.filePath = kDefaultName;
    const PictureFileType type = ChooseSaveFile(owner);
    if (type == PictureFileType::None) return type;
    const bool jpeg = type == PictureFileType::Jpeg;
    const DLGPROC procedure = jpeg ? jpegDialogProc : bmpDialogProc;
    if (DialogBoxParamW(s.programInstance, jpeg ? kJpegDialogName : kBmpDialogName, owner,
                        procedure, 0) != IDOK)
        return PictureFileType::None;
    if (s.captureRunning) return type;
    if (!writeFrame(s.filePath, displayedFrame(), saveFileSettings(type)).ok())
        MessageBoxW(owner, kCannotWriteText, kErrorCaption, MB_OK);
    return type;
}
