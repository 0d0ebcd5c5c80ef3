#include "scene_state.h"

#include <memory>

namespace {
std::unique_ptr<SceneState> theState = std::make_unique<SceneState>();
} // namespace

SceneState& sceneState() { return *theState; }
SharedState& sharedState() { return *theState; }
void resetSceneState() { theState = std::make_unique<SceneState>(); }

FrameView displayedFrame() { return theState->frameView[theState->showIndex()]; }

void requestRedraw() {
    if (theState->mainWindow) SendMessageW(theState->mainWindow, WM_REDRAW_REQUEST, 0, 0);
}
