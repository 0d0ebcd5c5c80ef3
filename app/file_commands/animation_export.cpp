#include "animation_export.h"

#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/scene_state.h"
#include "frame_capture.h"
#include "messages.h"
#include "save_picture.h"
#include "scene/scene_frames.h"

namespace {
// The frames of the run, as SceneFrames draws them, with word to the window after each one and
// an end as soon as a stop is asked for: the writer then fails, and keeps nothing.
class ReportedFrames : public FrameSequence {
  public:
    ReportedFrames(const Scene& scene, const FrameLook& look, FrameRun run, int threads,
                   HWND window)
        : frames_(scene, look, run, threads), window_(window) {}
    void stopWith(std::stop_token stop) { stop_ = std::move(stop); }

    int frameCount() const override { return frames_.frameCount(); }
    int width() const override { return frames_.width(); }
    int height() const override { return frames_.height(); }
    bool forEachFrame(const std::function<bool(int, const FrameView&)>& visit) override {
        if (stop_.stop_requested()) return false;
        return frames_.forEachFrame([&](int index, const FrameView& frame) {
            if (stop_.stop_requested() || !visit(index, frame)) return false;
            PostMessageW(window_, WM_EXPORT_PROGRESS, ++done_, 0);
            return !stop_.stop_requested();
        });
    }

  private:
    SceneFrames frames_;
    HWND window_;
    std::stop_token stop_;
    WPARAM done_ = 0;
};

int processorCount() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}
} // namespace

void startAnimationExport(HWND mainWindow) {
    SceneState& s = sceneState();
    FrameCapture& c = s.capture;
    const FrameFileSettings settings = saveFileSettings(c.captureFileType);
    // The frames vexarond-render --cycle draws, at the window's size, with alpha for the
    // animated formats: the scene is copied here, so the window may go on changing its own.
    const FrameLook look{1, 1, true, settings.transparent};
    const FrameRun run = s.save.seamless ? FrameRun::Seamless : FrameRun::Capture;
    const std::filesystem::path path(s.filePath);
    std::unique_ptr<ReportedFrames> frames;
    try {
        frames = std::make_unique<ReportedFrames>(s.core, look, run, processorCount(), mainWindow);
        createCaptureBars(mainWindow, frames->frameCount() * animationPasses(settings.format));
        c.exportWorker = std::jthread(
            [frames = std::move(frames), path, settings, mainWindow](std::stop_token stop) {
                frames->stopWith(stop);
                bool written = false;
                try {
                    written = writeAnimation(path, *frames, settings).ok();
                } catch (...) {
                    // Out of memory or the like: no file is there, and the window says so.
                }
                if (!stop.stop_requested()) PostMessageW(mainWindow, WM_EXPORT_DONE, written, 0);
            });
    } catch (...) {
        // Not even the work could be set up (memory, a thread): nothing was written.
        PostMessageW(mainWindow, WM_EXPORT_DONE, FALSE, 0);
    }
}

void showExportProgress(WPARAM framesDone) {
    const FrameCapture& c = sceneState().capture;
    if (c.captureProgressBar)
        SendMessageW(c.captureProgressBar, PBM_SETPOS, static_cast<WPARAM>(framesDone), 0);
}

void finishAnimationExport(HWND mainWindow, WPARAM written) {
    SceneState& s = sceneState();
    if (!s.captureRunning || !isAnimationFile(s.capture.captureFileType)) return;
    if (s.capture.exportWorker.joinable()) s.capture.exportWorker.join();
    endCapture();
    if (!written) {
        const std::wstring text = std::wstring(kCannotWriteText) + L"\n" + s.filePath;
        MessageBoxW(mainWindow, text.c_str(), kErrorCaption, MB_OK);
    }
}

void stopAnimationExport() {
    std::jthread& worker = sceneState().capture.exportWorker;
    if (!worker.joinable()) return;
    worker.request_stop();
    worker.join();
}
