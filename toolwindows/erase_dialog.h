#pragma once

#include <windows.h>

// The erase colour dialog: a preview of the picture, where a click with the syringe takes the
// colour shown there as the erase colour. Cancel restores the colour it opened with. It is
// modal for the whole program. The scene's erase colour is the result.
void runEraseDialog(HWND owner);
