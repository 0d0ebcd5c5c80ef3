#pragma once

#include <windows.h>

#include "imagefiles/frame_file.h"

// Saving the frame on the screen (Ctrl+S) and a numbered series of frames (Ctrl+A). These work
// on the shared state: filePath, imageFileType, the save settings and the capture.

// The save dialog: kJpegFile or kBmpFile as chosen in its type box when the user pressed Save
// (filePath then holds the path), -1 when it was cancelled or failed.
int ChooseSaveFile(HWND owner);

// The save dialog, then the chosen type's settings dialog, then the shown frame written:
// -1 when the save dialog was cancelled; 0 when a settings dialog was cancelled or a file was
// written (or failed, which the user has been told); while a capture is being set up, the
// chosen type (kJpegFile or kBmpFile) and nothing written.
int SaveDisplayedPicture(HWND owner);

// The save settings as writeFrame takes them, for a file of `fileType` (kJpegFile or kBmpFile).
// The save and the capture hand writeFrame the shown frame buffer itself, not a copy: the write
// runs to its end on the window's thread without handling a message, so nothing draws into the
// buffer meanwhile.
[[nodiscard]] FrameFileSettings saveFileSettings(int fileType);
