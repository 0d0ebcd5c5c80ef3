#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "toolwindows/tool_window.h"
#include "window_fixture.h"

namespace {
std::wstring windowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}
std::wstring className(HWND window) {
    wchar_t text[256] = {};
    GetClassNameW(window, text, 256);
    return text;
}
bool isGray(HMENU menu, UINT id) {
    return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0;
}
} // namespace

using StartupTest = MainWindowTest;

// The start-up values themselves are checked once, on startScene, by the core tests; the window
// must start from exactly that scene, opening its tool windows changing nothing.
TEST_F(StartupTest, StartsWithTheStartUpScene) {
    const Scene& core = state().core;
    auto expected = std::make_unique<Scene>();
    startScene(*expected);
    EXPECT_EQ(core.displayMode, expected->displayMode);
    EXPECT_EQ(core.flag.keyCount, expected->flag.keyCount);
    EXPECT_EQ(core.flag.keyLog, expected->flag.keyLog);
    EXPECT_EQ(core.wave.wavePhase, expected->wave.wavePhase);
    EXPECT_EQ(waveSliders(core), waveSliders(*expected));
    EXPECT_EQ(core.wave.framesPerCycle, expected->wave.framesPerCycle);
    EXPECT_EQ(core.wireColour, expected->wireColour);
    EXPECT_EQ(core.background, expected->background);
    EXPECT_EQ(std::memcmp(&core.light, &expected->light, sizeof core.light), 0);
    for (int i = 0; i < kGridSize; ++i)
        for (int j = 0; j < kGridSize; ++j)
            ASSERT_EQ(std::memcmp(&core.flag.surfaceGrid[i][j].x,
                                  &expected->flag.surfaceGrid[i][j].x, 3 * sizeof(double)),
                      0)
                << i << "," << j;
    // One frame has been drawn: the buffers have swapped once.
    EXPECT_EQ(state().drawIndex, 1);
    EXPECT_EQ(state().showIndex(), 0);
    EXPECT_EQ(GetWindowTextLengthW(main), 17);
    EXPECT_EQ(windowText(main), L"Vexarond4.1.6Jwin");
}

TEST_F(StartupTest, MainWindowHasTheFullClientAreaAndFrameBuffers) {
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(state().core.origin.x, 320);
    EXPECT_EQ(state().core.origin.y, 240);
    for (const FrameView& v : state().frameView) {
        EXPECT_EQ(v.width, 641);
        EXPECT_EQ(v.height, 481);
    }
    const RECT r = windowRect(main);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right - r.left, state().windowWidth);
    EXPECT_EQ(r.bottom - r.top, state().windowHeight);
}

TEST_F(StartupTest, WindowShowsTheShownFrameBuffer) {
    const auto frame = shownFrame();
    const auto screen = clientPixels();
    ASSERT_EQ(screen.size(), 640u * 480u);
    int white = 0;
    for (int row = 0; row < 480; ++row)
        for (int column = 0; column < 640; ++column) {
            const std::uint32_t p = frame[row * 641 + column];
            ASSERT_EQ(screen[row * 640 + column], p) << "at " << column << ", " << row;
            ASSERT_TRUE(p == 0 || p == 0xFFFFFF);
            white += p == 0xFFFFFF;
        }
    EXPECT_GT(white, 1000); // the wireframe flag is there
}

TEST_F(StartupTest, ToolWindowsOpenAroundTheMainWindowWithFixedSizes) {
    const int w = state().windowWidth, h = state().windowHeight;
    const RECT wave = windowRect(state().waveWindow);
    const RECT light = windowRect(state().lightWindow);
    struct Expected {
        HWND window;
        const wchar_t* className;
        const wchar_t* title;
        POINT place;
        SIZE size;
    } const cases[] = {
        {state().waveWindow, L"Wave_Frame", L"波動調整", {10, h + 10}, {440, 150}},
        {state().lightWindow, L"Light_Frame", L"光源・質感設定", {w + 10, 10}, {260, 310}},
        {state().controlWindow,
         L"Ctrl_Frame",
         L"コントロールBOX",
         {light.left, light.bottom},
         {260, 378}},
        {state().eraseWindow, L"Erase_Frame", L"消去色設定", {wave.right, wave.top}, {215, 150}},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.className);
        ASSERT_TRUE(IsWindow(e.window));
        EXPECT_EQ(className(e.window), e.className);
        EXPECT_EQ(windowText(e.window), e.title);
        EXPECT_EQ(GetWindow(e.window, GW_OWNER), main);
        EXPECT_TRUE(GetWindowLongW(e.window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        const LONG style = GetWindowLongW(e.window, GWL_STYLE);
        EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW),
                  WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW);
        const RECT r = windowRect(e.window);
        EXPECT_EQ(r.left, e.place.x);
        EXPECT_EQ(r.top, e.place.y);
        EXPECT_EQ(r.right - r.left, e.size.cx);
        EXPECT_EQ(r.bottom - r.top, e.size.cy);
        // Dragging the border cannot change the size: minimum and maximum are the same.
        MINMAXINFO info{};
        SendMessageW(e.window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        EXPECT_EQ(info.ptMinTrackSize.x, e.size.cx);
        EXPECT_EQ(info.ptMaxTrackSize.x, e.size.cx);
        EXPECT_EQ(info.ptMinTrackSize.y, e.size.cy);
        EXPECT_EQ(info.ptMaxTrackSize.y, e.size.cy);
    }
}

TEST_F(StartupTest, WindowMenuItemsAreGrayWhileTheirWindowsAreOpen) {
    HMENU menu = GetMenu(main);
    for (UINT id : {IDM_WAVE_WINDOW, IDM_LIGHT_WINDOW, IDM_CONTROL_WINDOW, IDM_ERASE_WINDOW})
        EXPECT_TRUE(isGray(menu, id)) << id;
    EXPECT_TRUE(isGray(menu, IDM_SHOW_PICTURE)); // no picture yet
    EXPECT_FALSE(isGray(menu, IDM_SAVE_PICTURE));
    EXPECT_FALSE(isGray(menu, IDM_WIREFRAME));

    SendMessageW(state().eraseWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(state().eraseWindow, nullptr);
    EXPECT_FALSE(isGray(menu, IDM_ERASE_WINDOW));
    EXPECT_TRUE(isGray(menu, IDM_WAVE_WINDOW));
}

TEST_F(StartupTest, MainWindowCannotGrowBeyondOnePixelLessThanItsSize) {
    MINMAXINFO info{};
    SendMessageW(main, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMaxTrackSize.x, state().windowWidth - 1);
    EXPECT_EQ(info.ptMaxTrackSize.y, state().windowHeight - 1);
}

TEST_F(StartupTest, MenuCarriesTheProgramsTexts) {
    HMENU menu = GetMenu(main);
    ASSERT_EQ(GetMenuItemCount(menu), 4);
    const wchar_t* const titles[] = {L"ファイル(&F)", L"表示方法(&M)", L"アニメション(&A)",
                                     L"ウィンドウ(&W)"};
    for (int k = 0; k < 4; ++k) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, k, text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, titles[k]);
    }
    struct Item {
        UINT id;
        const wchar_t* text;
    } const items[] = {
        {IDM_SAVE_PICTURE, L"表示画像書き込み\tCtrl+&S"},
        {IDM_CAPTURE_SERIES, L"連番号付コマ撮り\tCtrl+&A"},
        {IDM_QUIT, L"Vexarondの終　了\tCtrl+&Q"},
        {IDM_BACKGROUND_PINK, L"桃色"},
        {IDM_BACKGROUND_BLACK, L"黒色"},
        {IDM_WIREFRAME, L"ワイヤーフレーム"},
        {IDM_SURFACE_WHITE, L"白色"},
        {IDM_SHOW_PICTURE, L"画像"},
        {IDM_CHOOSE_PICTURE, L"画像選択"},
        {IDM_PLAY_FORWARD, L"アニメ　　順送り　Alt+&F"},
        {IDM_STOP, L"アニメ　　停　止　Alt+&E"},
        {IDM_PLAY_BACKWARD, L"アニメ　　逆送り　Alt+&B"},
        {IDM_STEP_FORWARD, L"手動コマ順送り　Alt+&N"},
        {IDM_STEP_BACKWARD, L"手動コマ逆送り　Alt+&M"},
        {IDM_LIGHT_WINDOW, L"光源方向設定"},
        {IDM_WAVE_WINDOW, L"波動状態設定"},
        {IDM_CONTROL_WINDOW, L"制御ボックス"},
        {IDM_ERASE_WINDOW, L"消去色設定"},
    };
    for (const Item& item : items) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, item.id, text, 64, MF_BYCOMMAND);
        EXPECT_STREQ(text, item.text) << item.id;
    }
    // The Window menu lists the light window first.
    HMENU windows = GetSubMenu(menu, 3);
    EXPECT_EQ(GetMenuItemID(windows, 0), static_cast<UINT>(IDM_LIGHT_WINDOW));
    EXPECT_EQ(GetMenuItemID(windows, 3), static_cast<UINT>(IDM_ERASE_WINDOW));
}

TEST(Accelerators, TableHoldsEveryShortcut) {
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), L"MyMenu");
    ASSERT_NE(table, nullptr);
    ACCEL entries[16];
    const int count = CopyAcceleratorTableW(table, entries, 16);
    struct Expected {
        BYTE modifier;
        WORD key;
        WORD command;
    } const expected[] = {
        {FCONTROL, 'S', IDM_SAVE_PICTURE},
        {FCONTROL, 'A', IDM_CAPTURE_SERIES},
        {FCONTROL, 'Q', IDM_QUIT},
        {FALT, 'F', IDM_PLAY_FORWARD},
        {FALT, 'E', IDM_STOP},
        {FALT, 'B', IDM_PLAY_BACKWARD},
        {FALT, 'N', IDM_STEP_FORWARD},
        {FALT, 'M', IDM_STEP_BACKWARD},
    };
    ASSERT_EQ(count, 8);
    for (const Expected& e : expected) {
        const bool found = std::any_of(entries, entries + count, [&](const ACCEL& a) {
            return a.key == e.key && a.cmd == e.command &&
                   (a.fVirt & (FVIRTKEY | FCONTROL | FALT | FSHIFT)) == (FVIRTKEY | e.modifier);
        });
        EXPECT_TRUE(found) << e.command;
    }
    DestroyAcceleratorTable(table);
}
