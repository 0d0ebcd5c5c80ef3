#pragma once

#include <windows.h>

// Choosing and reading a picture for the flag (the menu's 画像選択). These work on the shared
// state: filePath holds the chosen path, imageFileType the chosen type, and a picture that was
// read whole replaces the scene's picture and is shown on the flag.

// The open dialog: returns kJpegFile or kBmpFile as chosen in its type box when the user
// pressed Open (filePath then holds the path), -1 when it was cancelled or failed.
int ChooseOpenFile(HWND owner);

// The dialog, then the reader of the chosen type (the type box decides, not the name). 0 when
// a picture was read and put on the flag, -1 otherwise; a reader's failure has been shown to
// the user and nothing of the earlier picture was changed.
int LoadTexture(HWND owner);

// Read the file named by filePath as a BMP or a JPEG picture; 0 or -1 as LoadTexture.
int LoadBmpTexture(HWND owner);
int LoadJpegTexture(HWND owner);
