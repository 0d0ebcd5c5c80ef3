#include <set>
#include <string>

#include "app/commands.h"
#include "toolwindows/tool_window.h"
#include "window_fixture.h"

namespace {
std::wstring windowText(HWND window) {
    wchar_t text[600] = {};
    GetWindowTextW(window, text, 600);
    return text;
}
std::set<std::uint32_t> coloursOf(const std::vector<std::uint32_t>& frame) {
    return {frame.begin(), frame.end()};
}
} // namespace

// The menu commands keep the control box's radio buttons in step: the checked buttons of one
// group.
class CommandsTest : public MainWindowTest {
  protected:
    std::vector<int> checkedButtons(int first, int last) {
        std::vector<int> checked;
        for (int id = first; id <= last; ++id)
            if (IsDlgButtonChecked(state().controlWindow, id) == BST_CHECKED) checked.push_back(id);
        return checked;
    }
    std::vector<int> checkedSurfaceButtons() {
        return checkedButtons(IDC_SURFACE_FIRST, IDC_SURFACE_WIREFRAME);
    }
};

TEST_F(CommandsTest, SolidColoursShowTheLitFlagAndCheckTheirButton) {
    struct Case {
        int command;
        Colour colour;
        int button;
    } const cases[] = {
        {IDM_SURFACE_PINK, {255, 0, 255}, 12211},    {IDM_SURFACE_CYAN, {0, 255, 255}, 12212},
        {IDM_SURFACE_YELLOW, {255, 255, 0}, 12213},  {IDM_SURFACE_BLUE, {0, 0, 255}, 12214},
        {IDM_SURFACE_GREEN, {0, 255, 0}, 12215},     {IDM_SURFACE_RED, {255, 0, 0}, 12216},
        {IDM_SURFACE_WHITE, {255, 255, 255}, 12217},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        command(c.command);
        EXPECT_EQ(state().core.displayMode, DisplayMode::Solid);
        EXPECT_EQ(state().surfaceChoiceButton, c.button);
        EXPECT_EQ(checkedSurfaceButtons(), std::vector<int>{c.button});
        const PolygonRecord& last = state().core.flag.polygonList[kQuadCount - 1];
        EXPECT_EQ(
            (Colour{static_cast<std::uint8_t>(last.red), static_cast<std::uint8_t>(last.green),
                    static_cast<std::uint8_t>(last.blue)}),
            c.colour);
        // Every flag pixel is the colour scaled by the light: no channel the colour lacks.
        int flagPixels = 0;
        for (std::uint32_t p : shownFrame()) {
            const Colour k = unpackPixel(p);
            if (p == 0) continue;
            ++flagPixels;
            if (c.colour.red == 0) {
                ASSERT_EQ(k.red, 0);
            }
            if (c.colour.green == 0) {
                ASSERT_EQ(k.green, 0);
            }
            if (c.colour.blue == 0) {
                ASSERT_EQ(k.blue, 0);
            }
        }
        EXPECT_GT(flagPixels, 30000);
    }
    command(IDM_WIREFRAME);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Wireframe);
    EXPECT_EQ(checkedSurfaceButtons(), std::vector<int>{IDC_SURFACE_WIREFRAME});
    EXPECT_EQ(coloursOf(shownFrame()), (std::set<std::uint32_t>{0, 0xFFFFFF}));
}

TEST_F(CommandsTest, BackgroundsPickAWireColourThatStandsOut) {
    struct Case {
        int command;
        std::uint32_t background, lines;
    } const cases[] = {
        {2220, 0xFF00FF, 0x00FF00}, {2221, 0x00FFFF, 0xFF0000}, {2222, 0xFFFF00, 0x0000FF},
        {2223, 0x0000FF, 0xFFFF00}, {2224, 0x00FF00, 0xFF00FF}, {2225, 0xFF0000, 0x00FFFF},
        {2226, 0xFFFFFF, 0x000000}, {2227, 0x000000, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const int phase = state().core.wave.wavePhase;
        command(c.command);
        EXPECT_EQ(state().core.wave.wavePhase, phase);
        EXPECT_EQ(coloursOf(shownFrame()), (std::set<std::uint32_t>{c.background, c.lines}));
        EXPECT_EQ(checkedButtons(IDC_BACKGROUND_FIRST, IDC_BACKGROUND_LAST),
                  std::vector<int>{IDC_BACKGROUND_FIRST + c.command - 2220});
    }
}

TEST_F(CommandsTest, PictureItemStaysGrayAndDoesNothingWithoutAPicture) {
    command(IDM_SURFACE_GREEN);
    command(IDM_SHOW_PICTURE);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Solid);
    EXPECT_EQ(state().surfaceChoiceButton, 12215);
    EXPECT_EQ(checkedSurfaceButtons(), std::vector<int>{12215});
    EXPECT_TRUE(GetMenuState(GetMenu(main), IDM_SHOW_PICTURE, MF_BYCOMMAND) & MF_GRAYED);
}

TEST_F(CommandsTest, DisplayCommandsWaitForACaptureButBackgroundsDoNot) {
    state().captureRunning = 1;
    command(IDM_SURFACE_RED);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Wireframe);
    command(IDM_STEP_FORWARD);
    EXPECT_EQ(state().core.wave.wavePhase, 10);
    command(IDM_BACKGROUND_WHITE);
    EXPECT_EQ(state().core.background, (Colour{255, 255, 255}));
    state().captureRunning = 0;
}

TEST_F(CommandsTest, WindowMenuReopensClosedToolWindowsOnly) {
    const HWND wave = state().waveWindow;
    command(IDM_WAVE_WINDOW); // open already: nothing
    EXPECT_EQ(state().waveWindow, wave);

    SendMessageW(state().lightWindow, WM_CLOSE, 0, 0);
    ASSERT_EQ(state().lightWindow, nullptr);
    command(IDM_LIGHT_WINDOW);
    ASSERT_NE(state().lightWindow, nullptr);
    EXPECT_EQ(windowText(state().lightWindow), L"光源方向設定");
    EXPECT_TRUE(GetMenuState(GetMenu(main), IDM_LIGHT_WINDOW, MF_BYCOMMAND) & MF_GRAYED);

    // The control box reopened under the light window, the erase window beside the wave window.
    SendMessageW(state().controlWindow, WM_CLOSE, 0, 0);
    SendMessageW(state().eraseWindow, WM_CLOSE, 0, 0);
    command(IDM_CONTROL_WINDOW);
    command(IDM_ERASE_WINDOW);
    const RECT light = windowRect(state().lightWindow), control = windowRect(state().controlWindow);
    EXPECT_EQ(control.left, light.left);
    EXPECT_EQ(control.top, light.bottom);
    const RECT waveRect = windowRect(state().waveWindow), erase = windowRect(state().eraseWindow);
    EXPECT_EQ(erase.left, waveRect.right);
    EXPECT_EQ(erase.top, waveRect.top);
    EXPECT_EQ(windowText(state().controlWindow), L"コントロールBOX");
}

TEST(WindowTitle, ShowsThePictureFileNameInBrackets) {
    EXPECT_EQ(windowTitleFor(L"C:\\pics\\flag.jpg"), L"Vexarond4.1.6Jwin [flag.jpg]");
    EXPECT_EQ(windowTitleFor(L"flag.bmp"), L"Vexarond4.1.6Jwin [flag.bmp]");
    EXPECT_EQ(windowTitleFor(L"C:\\写真\\旗.bmp"), L"Vexarond4.1.6Jwin [旗.bmp]");
    const std::wstring longTitle = windowTitleFor(L"C:\\" + std::wstring(600, L'a'));
    EXPECT_EQ(longTitle.size(), 511u);
    EXPECT_EQ(longTitle.substr(0, 19), L"Vexarond4.1.6Jwin [");
}
