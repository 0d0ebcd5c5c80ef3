#include "commands.h"

#include "frame_cycle.h"
#include "scene_state.h"

void dispatchCommand(int command) {
    SceneState& s = sceneState();
    if (command >= IDM_PLAY_BACKWARD && command <= IDM_STEP_FORWARD) {
        animationCommand(command);
        return;
    }
    switch (command) {
    case IDM_QUIT: SendMessageW(s.mainWindow, WM_CLOSE, 0, 0); break;
    default: break;
    }
}
