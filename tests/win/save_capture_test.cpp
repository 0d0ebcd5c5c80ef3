// Saving the shown frame and capturing a cycle through the real dialogs, answered from a timer
// inside their modal loops.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "imagefiles/frame_file.h"
#include "imagefiles/picture_file.h"
#include "scene/scene_frames.h"
#include "window_fixture.h"

#include <commctrl.h> // these two after windows.h, which they need
#include <dlgs.h>

namespace {
namespace fs = std::filesystem;

constexpr wchar_t kOpenTitle[] = L"Vexarond ファイルを開く";
constexpr wchar_t kSaveTitle[] = L"Vexarond 名前を付けて保存";
constexpr wchar_t kJpegTitle[] = L"Jpeg保存ファイル設定";
constexpr wchar_t kBmpTitle[] = L"BMP保存ファイル設定";
constexpr wchar_t kGifTitle[] = L"GIFアニメーション保存設定";
constexpr wchar_t kWebpTitle[] = L"WebPアニメーション保存設定";
// The type boxes' entries, from 0: JPEG, BMP, PNG; then, in the capture's, the animations.
constexpr int kPngType = 2, kGifType = 3, kWebpType = 4;

std::wstring fileNameBox(HWND dialog) {
    wchar_t text[300] = {};
    GetDlgItemTextW(dialog, edt1, text, 300);
    return text;
}

void chooseType(HWND dialog, int typeIndex) {
    SendDlgItemMessageW(dialog, cmb1, CB_SETCURSEL, typeIndex, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, cmb1)));
}

void saveAs(HWND dialog, int typeIndex, const std::wstring& path) {
    chooseType(dialog, typeIndex);
    SetDlgItemTextW(dialog, edt1, path.c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

void press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, id, 0);
}

std::vector<std::wstring> typeBoxEntries(HWND dialog) {
    std::vector<std::wstring> entries;
    const LRESULT count = SendDlgItemMessageW(dialog, cmb1, CB_GETCOUNT, 0, 0);
    for (LRESULT k = 0; k < count; ++k) {
        wchar_t text[64] = {};
        SendDlgItemMessageW(dialog, cmb1, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}
// Moves a settings dialog's slider `pages` pages to the right, as its arrow area does, and
// returns what its value label then shows.
std::wstring pageSliderRight(HWND dialog, int bar, int label, int pages) {
    for (int k = 0; k < pages; ++k)
        SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, bar)));
    wchar_t text[16] = {};
    GetDlgItemTextW(dialog, label, text, 16);
    return text;
}

// As a click does: the box changes, then its dialog hears of it.
void click(HWND dialog, int id) {
    SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0);
}

using Bytes = std::vector<std::uint8_t>;

Bytes fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// How far a dialog stands from the middle of the desktop, as the program centres its dialogs:
// (0, 0) when centred.
POINT offCentre(HWND dialog) {
    const RECT desktop = windowRect(GetDesktopWindow()), r = windowRect(dialog);
    const LONG width = r.right - r.left, height = r.bottom - r.top;
    return {r.left - (desktop.right - width) / 2, r.top - (desktop.bottom - height) / 2};
}

class SaveCaptureTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        steps.clear();
        // The file dialogs make the chosen folder the current one, which cannot then be
        // removed: leave it first.
        fs::current_path(fs::temp_directory_path());
        folder = fs::temp_directory_path() / L"vexarond-save-test";
        fs::remove_all(folder);
        fs::create_directories(folder);
        command(IDM_SURFACE_RED);
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        std::error_code ignored;
        fs::current_path(fs::temp_directory_path(), ignored);
        fs::remove_all(folder, ignored);
    }
    void run(int id) { runWithAnswers(id); }
    // The picture read back from a saved file is the frame on the screen, every pixel of it.
    void expectShownFrame(const TextureImage& picture) {
        const std::vector<std::uint32_t> shown = shownFrame();
        for (int row = 0; row < 481; ++row)
            for (int column = 0; column < 641; ++column) {
                const std::uint8_t* p = picture.pixel(column, 480 - row);
                ASSERT_EQ(packPixel({p[2], p[1], p[0]}), shown[row * 641 + column])
                    << column << "," << row;
            }
    }
    std::vector<fs::path> files() {
        std::vector<fs::path> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path folder;
};
} // namespace

TEST_F(SaveCaptureTest, SavedBmpHoldsTheShownFrameExactly) {
    const fs::path target = folder / L"旗.bmp";
    std::wstring proposed;
    bool depthShown = false;
    steps = {{kSaveTitle,
              [&](HWND d) {
                  proposed = fileNameBox(d);
                  saveAs(d, 1, target.wstring());
              }},
             {kBmpTitle, [&](HWND d) {
                  depthShown = IsDlgButtonChecked(d, IDC_BMP_DEPTH_24) == BST_CHECKED;
                  press(d, IDOK);
              }}};
    run(IDM_SAVE_PICTURE);
    EXPECT_EQ(proposed, L"SampleFlag");
    EXPECT_TRUE(depthShown);
    EXPECT_EQ(state().filePath, target.wstring());
    const PictureResult read = readPictureFile(target);
    ASSERT_TRUE(read.ok()) << read.message;
    ASSERT_EQ(read.picture.width, 641);
    ASSERT_EQ(read.picture.height, 481);
    expectShownFrame(read.picture);
}

TEST_F(SaveCaptureTest, SavedJpegIsTheShownFrameAtTheChosenQuality) {
    const fs::path target = folder / L"flag.jpg";
    bool progressiveUnticked = false;
    std::wstring label;
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, 0, target.wstring()); }},
             {kJpegTitle, [&](HWND d) {
                  progressiveUnticked =
                      IsDlgButtonChecked(d, IDC_JPEG_PROGRESSIVE) == BST_UNCHECKED;
                  label = pageSliderRight(d, IDC_JPEG_QUALITY, IDC_JPEG_QUALITY_LABEL, 1);
                  press(d, IDOK);
              }}};
    run(IDM_SAVE_PICTURE);
    EXPECT_TRUE(progressiveUnticked);
    EXPECT_EQ(label, L" 30"); // the position, 20 + 10, not the quality 90
    EXPECT_EQ(state().save.jpegQualityPos, 30);
    const PictureResult read = readPictureFile(target);
    ASSERT_TRUE(read.ok()) << read.message;
    EXPECT_EQ(read.picture.width, 641);
    EXPECT_EQ(read.picture.height, 481);
    // Lossy, but close: the red flag's pixels stay red.
    const std::vector<std::uint32_t> shown = shownFrame();
    int close = 0;
    for (int row = 0; row < 481; row += 7)
        for (int column = 0; column < 641; column += 7) {
            const Colour s = unpackPixel(shown[row * 641 + column]);
            const std::uint8_t* p = read.picture.pixel(column, 480 - row);
            close += std::abs(s.red - p[2]) < 40 && std::abs(s.green - p[1]) < 40 &&
                     std::abs(s.blue - p[0]) < 40;
        }
    EXPECT_GT(close, 0.95 * (481 / 7 + 1) * (641 / 7 + 1));
}

TEST_F(SaveCaptureTest, TypeSwitchRewritesTheExtension) {
    std::vector<std::wstring> seen;
    steps = {{kSaveTitle, [&](HWND d) {
                  SetDlgItemTextW(d, edt1, L"C:\\a.b\\flag.jpg");
                  chooseType(d, 1);
                  seen.push_back(fileNameBox(d));
                  SetDlgItemTextW(d, edt1, L"plain");
                  chooseType(d, 0);
                  seen.push_back(fileNameBox(d));
                  press(d, IDCANCEL);
              }}};
    run(IDM_SAVE_PICTURE);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"C:\\a.b\\flag.bmp", L"plain.jpg"}));
    EXPECT_TRUE(files().empty());
}

TEST_F(SaveCaptureTest, CancelledSettingsWriteNothingButKeepWhatChanged) {
    const fs::path target = folder / L"none.bmp";
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, 1, target.wstring()); }},
             {kBmpTitle, [&](HWND d) {
                  SendMessageW(d, WM_COMMAND, MAKEWPARAM(IDC_BMP_DEPTH_16, BN_CLICKED), 0);
                  press(d, IDCANCEL);
              }}};
    run(IDM_SAVE_PICTURE);
    EXPECT_TRUE(files().empty());
    EXPECT_EQ(state().save.bmpSaveDepth, 16);

    // The progressive box is unticked again at every opening, whatever was chosen before.
    state().save.jpegProgressive = true;
    bool unticked = false;
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, 0, (folder / L"none.jpg").wstring()); }},
             {kJpegTitle, [&](HWND d) {
                  unticked = IsDlgButtonChecked(d, IDC_JPEG_PROGRESSIVE) == BST_UNCHECKED;
                  press(d, IDCANCEL);
              }}};
    run(IDM_SAVE_PICTURE);
    EXPECT_TRUE(unticked);
    EXPECT_TRUE(files().empty());
}

TEST_F(SaveCaptureTest, CaptureWritesOneCycleAndStopsTheAnimation) {
    setWaveSetting(state().core, WaveSetting::Speed, 20);
    setWaveSetting(state().core, WaveSetting::Period, 10);
    ASSERT_EQ(state().core.wave.framesPerCycle, 18);
    command(IDM_PLAY_FORWARD);
    const fs::path chosen = folder / L"cycle.jpg"; // the BMP type decides the extension
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, 1, chosen.wstring()); }},
             {kBmpTitle, [&](HWND d) { press(d, IDOK); }}};
    run(IDM_CAPTURE_SERIES);
    ASSERT_EQ(state().captureRunning, 1);
    ASSERT_NE(state().capture.captureStatusBar.get(), nullptr);
    wchar_t status[32] = {};
    // In simple mode the bar shows its one simple part, which any part index reads.
    EXPECT_TRUE(SendMessageW(state().capture.captureStatusBar.get(), SB_ISSIMPLE, 0, 0));
    SendMessageW(state().capture.captureStatusBar.get(), SB_GETTEXTW, 0,
                 reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(std::wstring(status), L"　書き込み中");
    // Commands that would change the series wait while it runs.
    command(IDM_SURFACE_GREEN);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Solid);
    EXPECT_EQ(state().core.flag.polygonList[0].red, 255);

    ASSERT_TRUE(pumpUntil([&] { return state().captureRunning == 0; }, 15000));
    std::vector<fs::path> expected;
    for (int k = 1; k <= 18; ++k) {
        wchar_t name[32];
        swprintf(name, 32, L"cycle%03d.bmp", k);
        expected.push_back(name);
    }
    EXPECT_EQ(files(), expected);
    EXPECT_EQ(state().capture.captureStatusBar.get(), nullptr);
    EXPECT_EQ(state().filePath, (folder / L"cycle018.bmp").wstring());
    // Stopped afterwards, though it played before.
    const int phase = state().core.wave.wavePhase;
    pumpFor(300);
    EXPECT_EQ(state().core.wave.wavePhase, phase);
    // Frame 1 is the frame shown when the capture began; each further one a tick later, so
    // consecutive frames differ.
    const PictureResult first = readPictureFile(folder / L"cycle001.bmp");
    const PictureResult second = readPictureFile(folder / L"cycle002.bmp");
    ASSERT_TRUE(first.ok() && second.ok());
    EXPECT_NE(first.picture.pixels, second.picture.pixels);
}

TEST_F(SaveCaptureTest, CaptureNameTooLongIsRefusedBeforeAnythingIsWritten) {
    // 254 characters: it fits the dialog's 256, but not with a number and extension added.
    const std::size_t stem = 254 - folder.wstring().size() - 1 - 4;
    const std::wstring longName = (folder / std::wstring(stem, L'n')).wstring() + L".bmp";
    ASSERT_EQ(longName.size(), 254u);
    bool told = false;
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, 1, longName); }},
             {kBmpTitle, [&](HWND d) { press(d, IDOK); }},
             {L"Error", [&](HWND box) {
                  told = true;
                  press(box, IDOK);
              }}};
    run(IDM_CAPTURE_SERIES);
    EXPECT_TRUE(told);
    EXPECT_EQ(state().captureRunning, 0);
    EXPECT_TRUE(files().empty());
}

// The open and save dialogs arrange themselves after their hook first sees them: the middle is
// the middle for their final size.
TEST_F(SaveCaptureTest, DialogsOpenInTheMiddleOfTheDesktop) {
    struct Seen {
        std::wstring title;
        POINT offset;
        SIZE size;
    };
    std::vector<Seen> seen;
    const auto measure = [&](HWND d) {
        wchar_t title[64] = {};
        GetWindowTextW(d, title, 64);
        const RECT r = windowRect(d);
        seen.push_back({title, offCentre(d), {r.right - r.left, r.bottom - r.top}});
    };
    steps = {{kOpenTitle, [&](HWND d) {
                  measure(d);
                  press(d, IDCANCEL);
              }}};
    run(IDM_CHOOSE_PICTURE);
    // Each settings dialog behind the save dialog, cancelled.
    for (const auto& [type, settings] : {std::pair{0, kJpegTitle}, std::pair{1, kBmpTitle}}) {
        steps = {{kSaveTitle,
                  [&, type = type](HWND d) {
                      measure(d);
                      saveAs(d, type, (folder / L"centred").wstring());
                  }},
                 {settings, [&](HWND d) {
                      measure(d);
                      press(d, IDCANCEL);
                  }}};
        run(IDM_SAVE_PICTURE);
    }
    ASSERT_EQ(seen.size(), 5u);
    for (const Seen& s : seen) {
        SCOPED_TRACE(testing::Message()
                     << s.title.c_str() << ", " << s.size.cx << " x " << s.size.cy);
        EXPECT_EQ(s.offset.x, 0);
        EXPECT_EQ(s.offset.y, 0);
    }
    EXPECT_TRUE(files().empty());
}

// A name longer than the 255 characters the dialogs hand over (up to the 259 the dialog itself
// takes): the dialog closes without a word. The user is told, and nothing is written or changed.
TEST_F(SaveCaptureTest, NameTooLongForTheDialogIsTold) {
    // A name of `length` characters in the test's folder.
    const auto inFolder = [&](std::size_t length) {
        const std::wstring stem = (folder / L"").wstring();
        return stem + std::wstring(length - stem.size() - 4, L'b') + L".bmp";
    };
    struct Case {
        const char* name;
        int command;
        const wchar_t* title;
        int type;
        std::wstring path;
    };
    const Case cases[] = {
        {"save, a folder that is not there", IDM_SAVE_PICTURE, kSaveTitle, 1,
         L"C:\\L\\" + std::wstring(250, L'b') + L".bmp"},
        {"save, one character too many", IDM_SAVE_PICTURE, kSaveTitle, 1, inFolder(256)},
        {"capture", IDM_CAPTURE_SERIES, kSaveTitle, 0, inFolder(259)},
        {"open", IDM_CHOOSE_PICTURE, kOpenTitle, 1, inFolder(257)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state().filePath = L"SampleFlag";
        std::wstring told;
        steps = {{c.title, [&](HWND d) { saveAs(d, c.type, c.path); }},
                 {L"Error", [&](HWND box) {
                      wchar_t text[64] = {};
                      GetDlgItemTextW(box, 0xFFFF, text, 64); // a message box's text
                      told = text;
                      press(box, IDOK);
                  }}};
        run(c.command);
        EXPECT_EQ(told, L"ファイル名が長すぎます");
        EXPECT_EQ(state().filePath, L"SampleFlag");
        EXPECT_EQ(state().imageFileType, PictureFileType::None);
        EXPECT_EQ(state().captureRunning, 0);
        EXPECT_FALSE(state().core.pictureLoaded());
        EXPECT_TRUE(files().empty());
    }
}

namespace {
// Answers every "Error" message box with OK and keeps its text.
std::vector<std::wstring> errorTexts;
HWND lastAnswered = nullptr;
void CALLBACK answerErrors(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowW(L"#32770", L"Error");
    if (!box || !IsWindowVisible(box) || box == lastAnswered) return;
    lastAnswered = box;
    wchar_t text[600] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 600);
    errorTexts.push_back(text);
    press(box, IDOK);
}
} // namespace

// Frames from one number on cannot be written (a folder already has their names): the series
// ends there with one message naming that frame, the frames before it stay, and the animation,
// which played before, stays stopped.
TEST_F(SaveCaptureTest, CaptureEndsAtTheFirstFrameThatCannotBeWritten) {
    setWaveSetting(state().core, WaveSetting::Speed, 20);
    setWaveSetting(state().core, WaveSetting::Period, 10);
    ASSERT_EQ(state().core.wave.framesPerCycle, 18);
    const auto frameName = [](int number) {
        wchar_t name[32];
        swprintf(name, 32, L"cycle%03d.bmp", number);
        return std::wstring(name);
    };
    for (const int firstFailing : {1, 3}) {
        SCOPED_TRACE(testing::Message() << "frames fail from " << firstFailing);
        // Emptied, not removed: the dialog made it the current folder.
        for (const auto& entry : fs::directory_iterator(folder))
            fs::remove_all(entry.path());
        for (int k = firstFailing; k <= 18; ++k)
            fs::create_directory(folder / frameName(k));
        command(IDM_PLAY_FORWARD);
        steps = {{kSaveTitle, [&](HWND d) { saveAs(d, 1, (folder / L"cycle.bmp").wstring()); }},
                 {kBmpTitle, [&](HWND d) { press(d, IDOK); }}};
        run(IDM_CAPTURE_SERIES);
        errorTexts.clear();
        lastAnswered = nullptr;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, answerErrors);
        EXPECT_TRUE(pumpUntil([&] { return state().captureRunning == 0; }, 15000));
        pumpFor(300); // any further message box would show by now
        KillTimer(nullptr, timer);

        const std::wstring failed = (folder / frameName(firstFailing)).wstring();
        EXPECT_EQ(errorTexts, std::vector<std::wstring>{L"ファイル作成に失敗しました\n" + failed});
        std::vector<fs::path> written;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file()) written.push_back(entry.path().filename());
        std::sort(written.begin(), written.end());
        std::vector<fs::path> expected;
        for (int k = 1; k < firstFailing; ++k)
            expected.push_back(frameName(k));
        EXPECT_EQ(written, expected);
        for (const fs::path& name : written)
            EXPECT_TRUE(readPictureFile(folder / name).ok());
        EXPECT_EQ(state().capture.captureStatusBar.get(), nullptr);
        const int phase = state().core.wave.wavePhase;
        pumpFor(200);
        EXPECT_EQ(state().core.wave.wavePhase, phase);
    }
}

// Each dialog lists its file types in the program's order, the new ones after those that were
// there before, so that a type keeps its number.
TEST_F(SaveCaptureTest, DialogsListTheirFileTypesInOrder) {
    const std::vector<std::wstring> pictures = {L"JPEGファイル(*.jpg)", L"BMPファイル(*.bmp)",
                                                L"PNGファイル(*.png)"};
    std::vector<std::wstring> withAnimations = pictures;
    withAnimations.push_back(L"GIFアニメーション(*.gif)");
    withAnimations.push_back(L"WebPアニメーション(*.webp)");
    struct Case {
        int command;
        const wchar_t* title;
        std::vector<std::wstring> types;
    };
    const Case cases[] = {{IDM_CHOOSE_PICTURE, kOpenTitle, pictures},
                          {IDM_SAVE_PICTURE, kSaveTitle, pictures},
                          {IDM_CAPTURE_SERIES, kSaveTitle, withAnimations}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        std::vector<std::wstring> listed;
        steps = {{c.title, [&](HWND d) {
                      listed = typeBoxEntries(d);
                      press(d, IDCANCEL);
                  }}};
        run(c.command);
        EXPECT_EQ(listed, c.types);
        EXPECT_EQ(state().captureRunning, 0);
    }
    // The extension follows the new types as it does the old ones.
    std::vector<std::wstring> seen;
    steps = {{kSaveTitle, [&](HWND d) {
                  SetDlgItemTextW(d, edt1, L"flag.jpg");
                  for (int type : {kPngType, kGifType, kWebpType, 0}) {
                      chooseType(d, type);
                      seen.push_back(fileNameBox(d));
                  }
                  press(d, IDCANCEL);
              }}};
    run(IDM_CAPTURE_SERIES);
    EXPECT_EQ(seen,
              (std::vector<std::wstring>{L"flag.png", L"flag.gif", L"flag.webp", L"flag.jpg"}));
    EXPECT_TRUE(files().empty());
}

// PNG has nothing to set: the save dialog writes the shown frame at once, every pixel as shown.
TEST_F(SaveCaptureTest, SavedPngHoldsTheShownFrameExactly) {
    const fs::path target = folder / L"旗.png";
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, kPngType, target.wstring()); }}};
    run(IDM_SAVE_PICTURE);
    const PictureResult read = readPictureFile(target);
    ASSERT_TRUE(read.ok()) << read.message;
    ASSERT_EQ(read.picture.width, 641);
    ASSERT_EQ(read.picture.height, 481);
    EXPECT_FALSE(read.picture.hasAlpha);
    expectShownFrame(read.picture);
}

namespace {
// What the animation's settings dialog is set to before OK, and the file that must come of it.
struct AnimationCase {
    const char* name;
    int type;
    const wchar_t* title;
    std::vector<int> clicks; // boxes clicked, in order
    int qualitySteps;        // pages to the right on the WebP quality slider
    FrameFileSettings expected;
    FrameRun run;
};

FrameFileSettings animationSettings(ImageFormat format, bool transparent, int webpQuality,
                                    bool dither) {
    FrameFileSettings settings;
    settings.format = format;
    settings.transparent = transparent;
    settings.webpQuality = webpQuality;
    settings.dither = dither;
    return settings;
}
} // namespace

// Ctrl+A with an animation type makes one looping file of one cycle: the frames the headless
// renderer draws for the scene as shown, with the options the settings dialog maps to. The
// window keeps handling its messages meanwhile, and the held-back commands wait until the end.
TEST_F(SaveCaptureTest, AnimationExportWritesTheRenderersFile) {
    setWaveSetting(state().core, WaveSetting::Speed, 20);
    setWaveSetting(state().core, WaveSetting::Period, 10);
    ASSERT_EQ(state().core.wave.framesPerCycle, 18);
    typeKeys(state().core, "xy"); // turned, so that the frames are not flat
    const AnimationCase cases[] = {
        {"GIF as the dialog opens",
         kGifType,
         kGifTitle,
         {},
         0,
         animationSettings(ImageFormat::Gif, false, kWebpLossless, false),
         FrameRun::Seamless},
        {"GIF dithered, transparent, not seamless",
         kGifType,
         kGifTitle,
         {IDC_GIF_DITHER, IDC_ANIMATION_TRANSPARENT, IDC_ANIMATION_SEAMLESS},
         0,
         animationSettings(ImageFormat::Gif, true, kWebpLossless, true),
         FrameRun::Capture},
        {"WebP as the dialog opens: lossless",
         kWebpType,
         kWebpTitle,
         {},
         0,
         animationSettings(ImageFormat::Webp, false, kWebpLossless, false),
         FrameRun::Seamless},
        {"WebP lossy at quality 90, transparent",
         kWebpType,
         kWebpTitle,
         {IDC_WEBP_LOSSLESS, IDC_ANIMATION_TRANSPARENT},
         1,
         animationSettings(ImageFormat::Webp, true, 90, false),
         FrameRun::Seamless},
    };
    for (const AnimationCase& c : cases) {
        SCOPED_TRACE(c.name);
        state().save = {};
        const fs::path target =
            folder / (std::wstring(L"wave") + (c.type == kGifType ? L".gif" : L".webp"));
        const Scene shown = state().core;
        bool defaultsShown = false, qualityHeld = false;
        std::wstring qualityLabel;
        steps = {{kSaveTitle, [&](HWND d) { saveAs(d, c.type, target.wstring()); }},
                 {c.title, [&](HWND d) {
                      defaultsShown = isChecked(d, IDC_ANIMATION_SEAMLESS) &&
                                      !isChecked(d, IDC_ANIMATION_TRANSPARENT) &&
                                      !isChecked(d, IDC_GIF_DITHER);
                      HWND bar = GetDlgItem(d, IDC_WEBP_QUALITY);
                      if (bar)
                          qualityHeld = isChecked(d, IDC_WEBP_LOSSLESS) && !IsWindowEnabled(bar);
                      for (int id : c.clicks)
                          click(d, id);
                      qualityLabel = pageSliderRight(d, IDC_WEBP_QUALITY, IDC_WEBP_QUALITY_LABEL,
                                                     c.qualitySteps);
                      press(d, IDOK);
                  }}};
        run(IDM_CAPTURE_SERIES);
        EXPECT_TRUE(defaultsShown);
        if (c.type == kWebpType) {
            EXPECT_TRUE(qualityHeld) << "lossless first, its quality slider held";
            EXPECT_EQ(qualityLabel, c.qualitySteps ? L" 90" : L" 80");
        }
        ASSERT_EQ(state().captureRunning, 1);
        command(IDM_SURFACE_GREEN); // held back while the file is made
        EXPECT_EQ(state().core.flag.polygonList[0].red, 255);
        errorTexts.clear();
        lastAnswered = nullptr;
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, answerErrors); // a failure is told
        const bool ended = pumpUntil([&] { return state().captureRunning == 0; }, 60000);
        KillTimer(nullptr, timer);
        ASSERT_TRUE(ended);
        EXPECT_EQ(errorTexts, std::vector<std::wstring>{});
        EXPECT_EQ(state().capture.captureStatusBar.get(), nullptr);
        EXPECT_EQ(files(), std::vector<fs::path>{target.filename()}) << "one file, no leftovers";

        SceneFrames frames(shown, FrameLook{1, 1, true, c.expected.transparent}, c.run, 2);
        Bytes expected;
        ByteSink out{expected};
        ASSERT_TRUE(encodeAnimation(frames, c.expected, out).ok());
        EXPECT_TRUE(fileBytes(target) == expected) << "not the headless renderer's file";
        fs::remove(target);
    }
}

// Closing the main window while the file is being made stops the work: nothing is left at the
// target, not even a temporary file, and an earlier file there stays as it was.
TEST_F(SaveCaptureTest, ClosingDuringAnExportLeavesNothing) {
    setWaveSetting(state().core, WaveSetting::Speed, 1); // the longest cycle: 360 frames
    const fs::path target = folder / L"long.webp";
    // The earlier file comes once the name is chosen, so that no overwrite question comes first.
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, kWebpType, target.wstring()); }},
             {kWebpTitle, [&](HWND d) {
                  std::ofstream(target, std::ios::binary) << "earlier";
                  press(d, IDOK);
              }}};
    run(IDM_CAPTURE_SERIES);
    ASSERT_EQ(state().captureRunning, 1);
    // The window goes on while the frames are made: the bar moves under its own messages.
    ASSERT_TRUE(pumpUntil(
        [&] {
            HWND bar = state().capture.captureProgressBar;
            return bar && SendMessageW(bar, PBM_GETPOS, 0, 0) > 0;
        },
        20000));
    SendMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(state().capture.exportWorker.joinable());
    EXPECT_EQ(files(), std::vector<fs::path>{target.filename()});
    EXPECT_TRUE(fileBytes(target) == Bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
}

// A file that cannot be made (a folder has its name) is told once, with its name; nothing else
// is left in the folder, and the held-back commands work again.
TEST_F(SaveCaptureTest, AnimationThatCannotBeWrittenIsTold) {
    const fs::path target = folder / L"taken.gif";
    // The folder comes once the name is chosen: the dialog would open a folder of that name.
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, kGifType, target.wstring()); }},
             {kGifTitle, [&](HWND d) {
                  fs::create_directory(target);
                  press(d, IDOK);
              }}};
    run(IDM_CAPTURE_SERIES);
    errorTexts.clear();
    lastAnswered = nullptr;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, answerErrors);
    const bool ended = pumpUntil([&] { return state().captureRunning == 0; }, 60000);
    pumpFor(300); // any further message box would show by now
    KillTimer(nullptr, timer);
    ASSERT_TRUE(ended);
    EXPECT_EQ(errorTexts,
              std::vector<std::wstring>{L"ファイル作成に失敗しました\n" + target.wstring()});
    EXPECT_EQ(files(), std::vector<fs::path>{target.filename()});
    EXPECT_TRUE(fs::is_directory(target));
    command(IDM_SURFACE_GREEN);
    EXPECT_EQ(state().core.flag.polygonList[0].green, 255);
}
