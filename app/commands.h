#pragma once

#include <string>

// WM_COMMAND of the main window: menu items, accelerators and control box buttons.
void dispatchCommand(int command);

// The main window's title for a picture file: the program title and the file's name in brackets.
[[nodiscard]] std::wstring windowTitleFor(const std::wstring& filePath);
void setWindowTitle();
