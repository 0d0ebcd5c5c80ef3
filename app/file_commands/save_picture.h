#pragma once

#include <windows.h>

#include "app/scene_state.h"
#include "imagefiles/frame_file.h"

// Saving the frame on the screen (Ctrl+S) and a numbered series of frames (Ctrl+A). These work
// on the program's state: filePath, imageFileType, the save settings and the capture.

// The save dialog: the type chosen in its type box when the user pressed Save (filePath then
// holds the path), None when it was cancelled or failed.
[[nodiscard]] PictureFileType ChooseSaveFile(HWND owner);

// The save dialog, then the chosen type's settings dialog, then the shown frame written (or its
// failure told to the user); while a capture is being set up, nothing is written. Returns the
// type chosen when both dialogs were confirmed, None when either was cancelled.
PictureFileType SaveDisplayedPicture(HWND owner);

// The save settings as writeFrame takes them, for a file of `fileType` (JPEG or BMP).
// The save and the capture hand writeFrame the shown frame buffer itself, not a copy: the write
// runs to its end on the window's thread without handling a message, so nothing draws into the
// buffer meanwhile.
[[nodiscard]] FrameFileSettings saveFileSettings(PictureFileType fileType);
