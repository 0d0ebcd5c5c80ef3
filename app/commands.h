#pragma once

// WM_COMMAND of the main window: menu items, accelerators and control box buttons.
void dispatchCommand(int command);
