#pragma once

#include <windows.h>

#include <commdlg.h>

#include "app/scene_state.h"

// The open and save dialogs as the program sets them up: the kind's file types with their
// leading-space patterns, the type box on imageFileType, filePath (256 characters) as the
// proposed name, "jpg" as the default extension, explorer style with a hook, the read-only box
// hidden, resizable. Open and Save (Ctrl+S) list JPEG, BMP and PNG; Capture (Ctrl+A) lists the
// GIF and WebP animations after them.
// Returns the type chosen in the type box, with filePath holding the chosen path, or None when
// the dialog was cancelled or failed; a name too long for filePath has been told to the user.
enum class FileDialog { Open, Save, Capture };
[[nodiscard]] PictureFileType runFileDialog(HWND owner, FileDialog kind, const wchar_t* title,
                                            LPOFNHOOKPROC hook);

// The extension of a type as the save hook writes it into the name box: ".jpg" and so on.
[[nodiscard]] const wchar_t* fileTypeExtension(PictureFileType type);

// For the dialogs' hooks, with every message: the dialog is centred on the desktop once it has
// its final size. It arranges itself after the hook's WM_INITDIALOG, so it is centred when it
// reports that it is done (CDN_INITDONE).
void centreWhenLaidOut(HWND hook, UINT message, LPARAM lParam);
