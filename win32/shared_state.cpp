#include "shared_state.h"

namespace {
SharedState* attached = nullptr;
} // namespace

SharedState& sharedState() {
    return *attached;
}
void attachSharedState(SharedState* state) {
    attached = state;
}

void requestRedraw() {
    if (attached && attached->mainWindow)
        SendMessageW(attached->mainWindow, WM_REDRAW_REQUEST, 0, 0);
}
