// Saving the shown frame and capturing a cycle through the real dialogs, answered from a timer
// inside their modal loops.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "imagefiles/picture_file.h"
#include "window_fixture.h"

#include <commctrl.h> // these two after windows.h, which they need
#include <dlgs.h>

namespace {
namespace fs = std::filesystem;

constexpr wchar_t kOpenTitle[] = L"Vexarond ファイルを開く";
constexpr wchar_t kSaveTitle[] = L"Vexarond 名前を付けて保存";
constexpr wchar_t kJpegTitle[] = L"Jpeg保存ファイル設定";
constexpr wchar_t kBmpTitle[] = L"BMP保存ファイル設定";

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
    const std::vector<std::uint32_t> shown = shownFrame();
    for (int row = 0; row < 481; ++row)
        for (int column = 0; column < 641; ++column) {
            const std::uint8_t* p = read.picture.pixel(column, 480 - row);
            ASSERT_EQ(packPixel({p[2], p[1], p[0]}), shown[row * 641 + column])
                << column << "," << row;
        }
}

TEST_F(SaveCaptureTest, SavedJpegIsTheShownFrameAtTheChosenQuality) {
    const fs::path target = folder / L"flag.jpg";
    bool progressiveUnticked = false;
    std::wstring label;
    steps = {{kSaveTitle, [&](HWND d) { saveAs(d, 0, target.wstring()); }},
             {kJpegTitle, [&](HWND d) {
                  progressiveUnticked =
                      IsDlgButtonChecked(d, IDC_JPEG_PROGRESSIVE) == BST_UNCHECKED;
                  HWND bar = GetDlgItem(d, IDC_JPEG_QUALITY);
                  SendMessageW(d, WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0),
                               reinterpret_cast<LPARAM>(bar));
                  wchar_t text[16] = {};
                  GetDlgItemTextW(d, IDC_JPEG_QUALITY_LABEL, text, 16);
                  label = text;
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
