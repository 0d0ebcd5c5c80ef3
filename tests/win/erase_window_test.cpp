// The erase colour window and its picking dialog, driven as a user would: the dialog is modal,
// so a timer inside its loop finds it and clicks.
#include <functional>
#include <vector>

#include "toolwindows/tool_window.h"
#include "window_fixture.h"

namespace {
constexpr Colour kPureRed{255, 0, 0}, kPureBlue{0, 0, 255}, kStartColour{128, 128, 128};

// What to do once the dialog is open, run from a timer inside its modal loop.
std::function<void(HWND)> dialogScript;
bool dialogSeen = false;

void CALLBACK findDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowW(L"#32770", L"消去色抽出");
    if (!dialog || !IsWindowVisible(dialog)) return;
    KillTimer(nullptr, timer);
    dialogSeen = true;
    dialogScript(dialog);
}

class EraseWindowTest : public MainWindowTest {
  protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // Two columns of red, then two of blue: the left third of the preview is pure red,
        // the right third pure blue.
        TextureImage picture;
        picture.width = 4;
        picture.height = 2;
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 4; ++column) {
                const Colour c = column < 2 ? kPureRed : kPureBlue;
                picture.pixels.insert(picture.pixels.end(), {c.blue, c.green, c.red, 0});
            }
        putPicture(state().core, picture);
        dialogSeen = false;
    }
    HWND erase() { return state().eraseWindow; }
    Colour eraseColour() {
        const EraseState& e = state().core.erase;
        return {e.eraseColour[0], e.eraseColour[1], e.eraseColour[2]};
    }
    // Runs the dialog from its button with the script.
    void runDialog(std::function<void(HWND)> script) {
        dialogScript = std::move(script);
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, findDialog);
        SendMessageW(erase(), WM_COMMAND, MAKEWPARAM(IDC_FROM_PICTURE, BN_CLICKED), 0);
        KillTimer(nullptr, timer);
        EXPECT_TRUE(dialogSeen);
    }
};

// A point of the preview, a fraction of the way across the frame, at mid-height.
POINT previewPoint(HWND dialog, double across) {
    RECT frame;
    GetWindowRect(GetDlgItem(dialog, IDC_PREVIEW_FRAME), &frame);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&frame), 2);
    return {frame.left + static_cast<LONG>(across * (frame.right - frame.left)),
            (frame.top + frame.bottom) / 2};
}

void click(HWND dialog, POINT p) {
    UpdateWindow(dialog); // the preview is on the screen before it is picked from
    SendMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    SendMessageW(dialog, WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y));
}

std::wstring text(HWND dialog, int id) {
    wchar_t buffer[32] = {};
    GetDlgItemTextW(dialog, id, buffer, 32);
    return buffer;
}
} // namespace

TEST_F(EraseWindowTest, PickedColourIsKeptWithOk) {
    Colour picked;
    std::wstring shownRed;
    runDialog([&](HWND dialog) {
        click(dialog, previewPoint(dialog, 0.1));
        picked = eraseColour();
        shownRed = text(dialog, IDC_ERASE_RED);
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(picked, kPureRed);
    EXPECT_EQ(shownRed, L" 255");
    EXPECT_EQ(eraseColour(), kPureRed);
    EXPECT_DOUBLE_EQ(state().core.erase.eraseLuma, 0.3 * 255);
}

TEST_F(EraseWindowTest, CancelAfterPicksRestoresTheColourItOpenedWith) {
    std::vector<Colour> picks;
    runDialog([&](HWND dialog) {
        click(dialog, previewPoint(dialog, 0.1));
        picks.push_back(eraseColour());
        click(dialog, previewPoint(dialog, 0.9));
        picks.push_back(eraseColour());
        SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(picks, (std::vector<Colour>{kPureRed, kPureBlue}));
    EXPECT_EQ(eraseColour(), kStartColour);
}

TEST_F(EraseWindowTest, ClicksOutsideThePreviewPickNothing) {
    runDialog([&](HWND dialog) {
        // The wide picture's preview is centred vertically: the frame's top edge is above it.
        RECT frame;
        GetWindowRect(GetDlgItem(dialog, IDC_PREVIEW_FRAME), &frame);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&frame), 2);
        click(dialog, {(frame.left + frame.right) / 2, frame.top + 2});
        click(dialog, {frame.left - 5, (frame.top + frame.bottom) / 2});
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(eraseColour(), kStartColour);
}

TEST_F(EraseWindowTest, ErasingThePickedColourShowsTheBackgroundThroughTheFlag) {
    runDialog([&](HWND dialog) {
        click(dialog, previewPoint(dialog, 0.1));
        SendMessageW(dialog, WM_COMMAND, IDOK, 0);
    });
    const auto redPixels = [&] {
        int count = 0;
        for (std::uint32_t p : shownFrame()) {
            const Colour c = unpackPixel(p);
            count += c.red > 0 && c.blue == 0;
        }
        return count;
    };
    ASSERT_GT(redPixels(), 10000);
    CheckDlgButton(erase(), IDC_ERASE_ENABLED, BST_CHECKED);
    SendMessageW(erase(), WM_COMMAND, MAKEWPARAM(IDC_ERASE_ENABLED, BN_CLICKED), 0);
    EXPECT_TRUE(state().core.erase.eraseEnabled);
    EXPECT_EQ(redPixels(), 0);
}

using EraseWithoutPictureTest = MainWindowTest;

TEST_F(EraseWithoutPictureTest, PickingButtonDoesNothing) {
    dialogSeen = false;
    dialogScript = [](HWND dialog) { SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0); };
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, findDialog);
    SendMessageW(state().eraseWindow, WM_COMMAND, MAKEWPARAM(IDC_FROM_PICTURE, BN_CLICKED), 0);
    pumpFor(100);
    KillTimer(nullptr, timer);
    EXPECT_FALSE(dialogSeen);
}

TEST_F(EraseWindowTest, ToleranceReturnsToItsOpeningValueOnClose) {
    HWND slider = GetDlgItem(erase(), IDC_ERASE_TOLERANCE);
    SendMessageW(erase(), WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 120),
                 reinterpret_cast<LPARAM>(slider));
    EXPECT_EQ(state().core.erase.eraseTolerance, 120);
    SendMessageW(erase(), WM_HSCROLL, MAKEWPARAM(SB_PAGERIGHT, 0),
                 reinterpret_cast<LPARAM>(slider));
    SendMessageW(erase(), WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 500),
                 reinterpret_cast<LPARAM>(slider));
    EXPECT_EQ(state().core.erase.eraseTolerance, 200);
    SendMessageW(erase(), WM_CLOSE, 0, 0);
    EXPECT_EQ(state().core.erase.eraseTolerance, 50);
    command(IDM_ERASE_WINDOW);
    EXPECT_EQ(GetScrollPos(GetDlgItem(erase(), IDC_ERASE_TOLERANCE), SB_CTL), 50);
}

// The dialog is modal for the whole program: while it is open none of the program's windows
// takes input, so no picture can be loaded under its preview. However it ends, they all take
// input again.
TEST_F(EraseWindowTest, DialogHoldsEveryWindowOfTheProgramWhileItIsOpen) {
    const auto windows = [&] {
        return std::vector<HWND>{main, state().waveWindow, state().lightWindow,
                                 state().controlWindow, erase()};
    };
    for (const int answer : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(answer);
        std::vector<BOOL> enabledMeanwhile;
        runDialog([&](HWND dialog) {
            for (HWND w : windows())
                enabledMeanwhile.push_back(IsWindowEnabled(w));
            SendMessageW(dialog, WM_COMMAND, answer, 0);
        });
        EXPECT_EQ(enabledMeanwhile, std::vector<BOOL>(5, FALSE));
        for (HWND w : windows())
            EXPECT_TRUE(IsWindowEnabled(w));
    }
}
