#pragma once

#include <windows.h>

// One wave cycle as one looping GIF or WebP file, chosen in the capture's dialog (Ctrl+A). The
// frames are those vexarond-render --cycle draws for the scene as shown, drawn and written on
// other threads, on all processors, while the window goes on painting; the capture's progress
// bar follows the work, and the commands a capture holds back wait until it ends.

// The messages the work sends the main window: a frame was done (wParam: how many so far), and
// the work ended (wParam: 1 when the file was written).
inline constexpr UINT WM_EXPORT_PROGRESS = WM_APP + 1;
inline constexpr UINT WM_EXPORT_DONE = WM_APP + 2;

// Starts the work for the file type and path the capture's dialogs chose (sceneState()).
void startAnimationExport(HWND mainWindow);

// WM_EXPORT_PROGRESS and WM_EXPORT_DONE: the bar moves; at the end the bar goes, the held-back
// commands work again, and a failure is told in the program's message. No partial file is left.
void showExportProgress(WPARAM framesDone);
void finishAnimationExport(HWND mainWindow, WPARAM written);

// The main window is closing: the work stops at its next frame and is waited for; the target is
// left as it was and no temporary file stays.
void stopAnimationExport();
