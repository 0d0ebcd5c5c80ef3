#include "scene_state.h"

#include <memory>

namespace {
std::unique_ptr<SceneState> makeState() {
    auto state = std::make_unique<SceneState>();
    attachSharedState(state.get());
    return state;
}
std::unique_ptr<SceneState> theState = makeState();
} // namespace

SceneState& sceneState() {
    return *theState;
}
void resetSceneState() {
    theState = makeState();
}

FrameView displayedFrame() {
    return theState->frameView[theState->showIndex()];
}
