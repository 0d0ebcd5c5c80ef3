#pragma once

#include <windows.h>

#include "app/scene_state.h"

// Choosing and reading a picture for the flag (the menu's 画像選択). These work on the shared
// state: filePath holds the chosen path, imageFileType the chosen type, and a picture that was
// read whole replaces the scene's picture and is shown on the flag.

// The open dialog: returns the type chosen in its type box when the user pressed Open
// (filePath then holds the path), None when it was cancelled or failed.
[[nodiscard]] PictureFileType ChooseOpenFile(HWND owner);

// Whether a picture was read and put on the flag, or the earlier one kept: after a cancelled
// dialog, or a reader's failure, which has been shown to the user.
enum class PictureLoad { Loaded, Kept };

// The dialog, then the reader of the chosen type (the type box decides, not the name).
[[nodiscard]] PictureLoad LoadTexture(HWND owner);

// Read the file named by filePath as a BMP, JPEG or PNG picture. A PNG's transparency cuts the
// flag out where the picture is transparent.
[[nodiscard]] PictureLoad LoadBmpTexture(HWND owner);
[[nodiscard]] PictureLoad LoadJpegTexture(HWND owner);
[[nodiscard]] PictureLoad LoadPngTexture(HWND owner);
