// The wave, light and control box windows as a user drives them: sliders, buttons, the dial.
#include <cmath>
#include <string>

#include "scene/scene.h"
#include "win32/slider.h"
#include "toolwindows/tool_window.h"
#include "window_fixture.h"

namespace {
class ToolWindowTest : public MainWindowTest {
  protected:
    HWND wave() { return state().waveWindow; }
    HWND light() { return state().lightWindow; }
    HWND box() { return state().controlWindow; }

    // WM_HSCROLL as a scroll bar control sends it to its parent.
    void scroll(HWND window, int sliderId, int code, int thumb = 0) {
        SendMessageW(window, WM_HSCROLL, MAKEWPARAM(code, thumb),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, sliderId)));
    }
    void drag(HWND window, int sliderId, int position) {
        scroll(window, sliderId, SB_THUMBTRACK, position);
        scroll(window, sliderId, SB_THUMBPOSITION, position);
    }
    void click(HWND window, int id) {
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }
    void mouse(UINT message, int x, int y) { SendMessageW(light(), message, 0, MAKELPARAM(x, y)); }
    int thumbOf(HWND window, int sliderId) {
        return GetScrollPos(GetDlgItem(window, sliderId), SB_CTL);
    }
    int period() { return state().core.wave.wavePeriodSetting; }
    Vec3 lightDirection() { return state().core.light.lightDirection; }
    void reopen(HWND window, int menuCommand) {
        SendMessageW(window, WM_CLOSE, 0, 0);
        command(menuCommand);
    }
};

void expectDirection(Vec3 got, Vec3 want, double tolerance) {
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}
} // namespace

TEST_F(ToolWindowTest, SliderStepsMoveByOneOrTenAndStayInRange) {
    struct Case {
        const char* name;
        int code, thumb;
        int expected; // the period slider, from 6, range 2..10
    };
    const Case cases[] = {
        {"line right", SB_LINERIGHT, 0, 7},
        {"line left", SB_LINELEFT, 0, 5},
        {"page right lands on the end", SB_PAGERIGHT, 0, 10},
        {"page left lands on the start", SB_PAGELEFT, 0, 2},
        {"thumb track", SB_THUMBTRACK, 9, 9},
        {"thumb track beyond the end", SB_THUMBTRACK, 40, 10},
        {"thumb position changes nothing", SB_THUMBPOSITION, 3, 6},
        {"end of scroll changes nothing", SB_ENDSCROLL, 0, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drag(wave(), IDC_WAVE_PERIOD, 6);
        scroll(wave(), IDC_WAVE_PERIOD, c.code, c.thumb);
        EXPECT_EQ(period(), c.expected);
        EXPECT_EQ(thumbOf(wave(), IDC_WAVE_PERIOD), c.expected);
        EXPECT_DOUBLE_EQ(state().core.wave.waveFrequency, c.expected / 10.0);
    }
}

TEST_F(ToolWindowTest, ValueLabelsShowThreeCharactersOrMore) {
    EXPECT_EQ(sliderText(-120), L"-120");
    EXPECT_EQ(sliderText(0), L"  0");
    EXPECT_EQ(sliderText(120), L"120");
    EXPECT_EQ(sliderText(7), L"  7");
    // The direction slider shows its position less 120.
    drag(wave(), IDC_WAVE_DIRECTION, 0);
    EXPECT_EQ(state().core.wave.waveDirection, -120);
    EXPECT_EQ(thumbOf(wave(), IDC_WAVE_DIRECTION), 0);
}

TEST_F(ToolWindowTest, FramesPerCycleFollowsPeriodAndSpeed) {
    struct Case {
        int period, speed, frames;
    };
    const Case cases[] = {{2, 2, 900}, {10, 20, 18}, {7, 2, 257}, {6, 10, 60}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "period " << c.period << ", speed " << c.speed);
        drag(wave(), IDC_WAVE_PERIOD, c.period);
        drag(wave(), IDC_WAVE_SPEED, c.speed);
        EXPECT_EQ(state().core.wave.framesPerCycle, c.frames);
    }
    click(wave(), IDCANCEL); // back to period 6, speed 10
    EXPECT_EQ(state().core.wave.framesPerCycle, 60);
}

TEST_F(ToolWindowTest, WaveApplyCancelAndClose) {
    const std::vector<std::uint32_t> before = shownFrame();
    drag(wave(), IDC_WAVE_HEIGHT, 20);
    EXPECT_EQ(state().core.wave.waveHeight, 2.0);
    EXPECT_NE(shownFrame(), before); // previewed at once

    click(wave(), IDCANCEL);
    EXPECT_EQ(state().core.wave.waveHeightSetting, 10);
    EXPECT_EQ(thumbOf(wave(), IDC_WAVE_HEIGHT), 10);
    EXPECT_EQ(shownFrame(), before);

    drag(wave(), IDC_WAVE_HEIGHT, 15);
    click(wave(), IDOK);
    drag(wave(), IDC_WAVE_HEIGHT, 3);
    click(wave(), IDCANCEL);
    EXPECT_EQ(state().core.wave.waveHeightSetting, 15); // the applied value stays

    // Closing discards the preview; reopened, the slider shows the applied value.
    drag(wave(), IDC_WAVE_SPEED, 2);
    reopen(wave(), IDM_WAVE_WINDOW);
    ASSERT_NE(wave(), nullptr);
    EXPECT_EQ(state().core.wave.waveSpeedSetting, 10);
    EXPECT_EQ(state().core.wave.framesPerCycle, 60);
    EXPECT_EQ(thumbOf(wave(), IDC_WAVE_SPEED), 10);
    EXPECT_EQ(thumbOf(wave(), IDC_WAVE_HEIGHT), 15);
}

TEST_F(ToolWindowTest, RippleChoiceSurvivesCancelAndReopening) {
    click(wave(), IDC_RIPPLE_LAST);
    EXPECT_EQ(state().core.wave.turbulenceMode, 2);
    click(wave(), IDCANCEL);
    EXPECT_EQ(state().core.wave.turbulenceMode, 2);
    reopen(wave(), IDM_WAVE_WINDOW);
    EXPECT_EQ(IsDlgButtonChecked(wave(), IDC_RIPPLE_LAST), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(wave(), IDC_RIPPLE_FIRST), BST_UNCHECKED);
}

TEST_F(ToolWindowTest, DialPicksSetTheLightInsideThePickRegionOnly) {
    // The marker at (45, 45) gave the start-up light.
    expectDirection(lightDirection(), {-0.538462, 0.538462, 0.648165}, 1e-6);
    struct Case {
        const char* name;
        int x, y;
        bool picked;
        Vec3 direction; // when picked
    };
    const Case cases[] = {
        {"centre", 80, 80, true, {0, 0, 1}},
        {"near the edge", 125, 35, true, {0.6923, 0.6923, 0.2035}},
        {"outside the circle", 150, 150, false, {}},
        {"on the readouts", 200, 10, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Vec3 before = lightDirection();
        const LightWindowState was = state().light;
        mouse(WM_LBUTTONDOWN, c.x, c.y);
        mouse(WM_LBUTTONUP, c.x, c.y);
        if (c.picked) {
            expectDirection(lightDirection(), c.direction, 5e-5);
            EXPECT_EQ(state().light.markerX, c.x);
            EXPECT_EQ(state().light.markerY, c.y);
        } else {
            expectDirection(lightDirection(), before, 0);
            EXPECT_EQ(state().light.markerX, was.markerX);
            EXPECT_EQ(state().light.markerY, was.markerY);
        }
    }
}

TEST_F(ToolWindowTest, DragLeavesTheDialAndComesBack) {
    mouse(WM_LBUTTONDOWN, 80, 80);
    mouse(WM_MOUSEMOVE, 100, 80);
    EXPECT_EQ(state().light.markerX, 100);
    mouse(WM_MOUSEMOVE, 155, 80); // outside: the last point inside stays
    EXPECT_EQ(state().light.markerX, 100);
    const Vec3 held = lightDirection();
    mouse(WM_MOUSEMOVE, 90, 70); // back in: it follows again
    EXPECT_EQ(state().light.markerX, 90);
    EXPECT_NE(lightDirection().x, held.x);
    mouse(WM_LBUTTONUP, 90, 70);
    mouse(WM_MOUSEMOVE, 60, 60); // released: moves alone do nothing
    EXPECT_EQ(state().light.markerX, 90);
}

TEST_F(ToolWindowTest, DialPicksAtTheRimOfThePickRegion) {
    // Radius 64 about (80, 80): the four outermost points pick, one pixel further does not.
    struct Case {
        int x, y;
        bool picked;
    };
    const Case cases[] = {{16, 80, true},  {15, 80, false}, {144, 80, true}, {145, 80, false},
                          {80, 16, true},  {80, 15, false}, {80, 144, true}, {80, 145, false},
                          {16, 79, false}, {35, 35, true},  {34, 34, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << ", " << c.y);
        mouse(WM_LBUTTONDOWN, 80, 80); // a known place first
        mouse(WM_LBUTTONUP, 80, 80);
        mouse(WM_LBUTTONDOWN, c.x, c.y);
        mouse(WM_LBUTTONUP, c.x, c.y);
        EXPECT_EQ(state().light.markerX == c.x && state().light.markerY == c.y, c.picked);
    }
}

TEST_F(ToolWindowTest, LightCancelAndCloseReturnToTheLastApplied) {
    const Vec3 start = lightDirection();
    mouse(WM_LBUTTONDOWN, 80, 80);
    mouse(WM_LBUTTONUP, 80, 80);
    drag(light(), IDC_LIGHT_SURFACE, 90);
    drag(light(), IDC_LIGHT_INTENSITY, 15);
    EXPECT_DOUBLE_EQ(state().core.light.specularWeight, 0.9);
    EXPECT_DOUBLE_EQ(state().core.light.diffuseWeight, (1 - 0.9) * 0.25);
    EXPECT_DOUBLE_EQ(state().core.light.brightness, 1.5);

    click(light(), IDCANCEL);
    expectDirection(lightDirection(), start, 0);
    EXPECT_EQ(state().light.markerX, 45);
    EXPECT_EQ(state().light.markerY, 45);
    EXPECT_EQ(thumbOf(light(), IDC_LIGHT_SURFACE), 50);
    EXPECT_EQ(thumbOf(light(), IDC_LIGHT_INTENSITY), 3);
    EXPECT_DOUBLE_EQ(state().core.light.specularWeight, 0.5);
    EXPECT_DOUBLE_EQ(state().core.light.diffuseWeight, 0.125);
    EXPECT_DOUBLE_EQ(state().core.light.brightness, 0.3);

    // Applied, then previewed, then closed: the applied pick comes back and the window reopens
    // with its marker.
    mouse(WM_LBUTTONDOWN, 125, 35);
    mouse(WM_LBUTTONUP, 125, 35);
    click(light(), IDOK);
    mouse(WM_LBUTTONDOWN, 80, 80);
    mouse(WM_LBUTTONUP, 80, 80);
    reopen(light(), IDM_LIGHT_WINDOW);
    ASSERT_NE(light(), nullptr);
    expectDirection(lightDirection(), {0.6923, 0.6923, 0.2035}, 5e-5);
    EXPECT_EQ(state().light.markerX, 125);
}

TEST_F(ToolWindowTest, ShownFrameFollowsEveryChangeAtOnce) {
    command(IDM_SURFACE_RED);
    std::vector<std::uint32_t> last = shownFrame();
    const auto changed = [&] {
        const std::vector<std::uint32_t> now = shownFrame();
        const bool differs = now != last;
        last = now;
        return differs;
    };
    drag(wave(), IDC_WAVE_TURBULENCE, 6);
    EXPECT_TRUE(changed());
    drag(light(), IDC_LIGHT_INTENSITY, 12);
    EXPECT_TRUE(changed());
    mouse(WM_LBUTTONDOWN, 100, 60);
    EXPECT_TRUE(changed());
    mouse(WM_LBUTTONUP, 100, 60);
}

TEST_F(ToolWindowTest, ControlBoxStartsAsTheProgramDoes) {
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(box(), IDC_SURFACE_PICTURE)));
    EXPECT_EQ(IsDlgButtonChecked(box(), IDC_BACKGROUND_LAST), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(box(), IDC_SURFACE_WIREFRAME), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(box(), IDC_FIT_TO_PICTURE), BST_CHECKED);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Wireframe);
}

TEST_F(ToolWindowTest, ControlBoxButtonsSendTheMenuCommands) {
    click(box(), IDC_SURFACE_FIRST + kRed);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Solid);
    EXPECT_EQ(state().surfaceChoiceButton, IDC_SURFACE_FIRST + kRed);
    click(box(), IDC_BACKGROUND_FIRST + kBlue);
    EXPECT_EQ(state().core.background, (Colour{0, 0, 255}));
    click(box(), IDC_STEP_FORWARD);
    EXPECT_EQ(state().core.wave.wavePhase, 20);
    click(box(), IDC_STEP_BACKWARD);
    EXPECT_EQ(state().core.wave.wavePhase, 10);
    EXPECT_EQ(state().core.wave.animationDirection, -1);
    click(box(), IDC_SURFACE_WIREFRAME);
    EXPECT_EQ(state().core.displayMode, DisplayMode::Wireframe);
}

TEST_F(ToolWindowTest, ReopenedControlBoxSendsItsRememberedCommandsAgain) {
    click(box(), IDC_PLAY_FORWARD);
    click(box(), IDC_BACKGROUND_FIRST + kGreen);
    click(box(), IDC_SURFACE_FIRST + kYellow);
    SendMessageW(box(), WM_CLOSE, 0, 0);
    // The menu changes all three while the box is closed...
    command(IDM_STOP);
    command(IDM_BACKGROUND_WHITE);
    command(IDM_WIREFRAME);
    const int phase = state().core.wave.wavePhase;
    command(IDM_CONTROL_WINDOW);
    // ...and reopening the box brings back what it chose last.
    EXPECT_EQ(state().core.background, (Colour{0, 255, 0}));
    EXPECT_EQ(state().core.displayMode, DisplayMode::Solid);
    EXPECT_EQ(state().core.flag.polygonList[0].red, 255);
    EXPECT_EQ(state().core.flag.polygonList[0].blue, 0);
    EXPECT_EQ(IsDlgButtonChecked(box(), IDC_BACKGROUND_FIRST + kGreen), BST_CHECKED);
    EXPECT_TRUE(pumpUntil([&] { return state().core.wave.wavePhase > phase; }));
    command(IDM_STOP);
}

TEST_F(ToolWindowTest, AspectSwitchReshapesTheFlag) {
    putPicture(state().core, [] {
        TextureImage tall;
        tall.width = 2, tall.height = 4;
        tall.pixels.assign(4 * 2 * 4, 128);
        return tall;
    }());
    const auto flagWidth = [&] {
        const ControlNet& net = state().core.flag.controlNet;
        return net[0][kNetSize - 1].x - net[0][0].x;
    };
    const double fitted = flagWidth();
    CheckDlgButton(box(), IDC_FIT_TO_PICTURE, BST_UNCHECKED);
    click(box(), IDC_FIT_TO_PICTURE);
    EXPECT_FALSE(state().core.fitFlagToPicture);
    EXPECT_GT(flagWidth(), fitted);    // the default 350 x 260 flag is wider than a 1 : 2 one
    reopen(box(), IDM_CONTROL_WINDOW); // the reopened box shows the switch off
    EXPECT_EQ(IsDlgButtonChecked(box(), IDC_FIT_TO_PICTURE), BST_UNCHECKED);
    CheckDlgButton(box(), IDC_FIT_TO_PICTURE, BST_CHECKED);
    click(box(), IDC_FIT_TO_PICTURE);
    EXPECT_TRUE(state().core.fitFlagToPicture);
    EXPECT_EQ(flagWidth(), fitted);
}

TEST_F(ToolWindowTest, PictureChoiceIsEnabledAndCheckedAfterALoad) {
    SendMessageW(box(), WM_ENABLE_PICTURE_CHOICE, IDC_SURFACE_PICTURE, 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(box(), IDC_SURFACE_PICTURE)));
    EXPECT_EQ(IsDlgButtonChecked(box(), IDC_SURFACE_PICTURE), BST_CHECKED);
    EXPECT_EQ(IsDlgButtonChecked(box(), IDC_SURFACE_WIREFRAME), BST_UNCHECKED);
}

TEST_F(ToolWindowTest, FontsAreDeletedWhenTheirWindowCloses) {
    struct Case {
        ToolWindow window;
        HWND SharedState::*handle;
        int menuCommand;
    };
    const Case cases[] = {
        {ToolWindow::Wave, &SharedState::waveWindow, IDM_WAVE_WINDOW},
        {ToolWindow::Light, &SharedState::lightWindow, IDM_LIGHT_WINDOW},
        {ToolWindow::Control, &SharedState::controlWindow, IDM_CONTROL_WINDOW},
        {ToolWindow::Erase, &SharedState::eraseWindow, IDM_ERASE_WINDOW},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(c.window) << ", round " << round);
            const HFONT font = controlFont(c.window);
            ASSERT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
            SendMessageW(state().*c.handle, WM_CLOSE, 0, 0);
            EXPECT_EQ(GetObjectType(font), 0u) << "the closed window's font is still there";
            command(c.menuCommand);
            ASSERT_NE(state().*c.handle, nullptr);
        }
    }
}

namespace {
// A real click on one of the control box's buttons: a radio button checks itself first.
void clickButton(HWND window, int id) {
    SendMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0);
}

std::vector<int> checkedButtons(HWND window, int first, int last) {
    std::vector<int> checked;
    for (int id = first; id <= last; ++id)
        if (IsDlgButtonChecked(window, id) == BST_CHECKED) checked.push_back(id);
    return checked;
}
} // namespace

// A capture holds the flag colour commands back. A flag colour clicked meanwhile does not stay
// checked, and is not brought back when the box reopens; the background, which a capture lets
// through, is shown and kept.
TEST_F(ToolWindowTest, ControlBoxShowsTheFlagAsItIsAfterACaptureHeldItsColourBack) {
    state().captureRunning = 1;
    clickButton(box(), IDC_SURFACE_FIRST + kRed);
    clickButton(box(), IDC_BACKGROUND_FIRST + kGreen);
    state().captureRunning = 0;
    for (const char* when : {"after the capture", "reopened"}) {
        SCOPED_TRACE(when);
        EXPECT_EQ(state().core.displayMode, DisplayMode::Wireframe);
        EXPECT_EQ(state().surfaceChoiceButton, IDC_SURFACE_WIREFRAME);
        EXPECT_EQ(checkedButtons(box(), IDC_SURFACE_FIRST, IDC_SURFACE_WIREFRAME),
                  std::vector<int>{IDC_SURFACE_WIREFRAME});
        EXPECT_EQ(state().core.background, (Colour{0, 255, 0}));
        EXPECT_EQ(checkedButtons(box(), IDC_BACKGROUND_FIRST, IDC_BACKGROUND_LAST),
                  std::vector<int>{IDC_BACKGROUND_FIRST + kGreen});
        reopen(box(), IDM_CONTROL_WINDOW);
    }
}

// An animation button pressed while a capture runs does nothing, then or when the box reopens.
TEST_F(ToolWindowTest, AnimationButtonsACaptureHeldBackAreNotRemembered) {
    for (const int button :
         {IDC_PLAY_FORWARD, IDC_PLAY_BACKWARD, IDC_STEP_FORWARD, IDC_STEP_BACKWARD}) {
        SCOPED_TRACE(button);
        const int phase = state().core.wave.wavePhase;
        state().captureRunning = 1;
        clickButton(box(), button);
        state().captureRunning = 0;
        reopen(box(), IDM_CONTROL_WINDOW);
        pumpFor(150); // six ticks, were it playing
        EXPECT_EQ(state().core.wave.wavePhase, phase);
    }
}
