#pragma once

#include <windows.h>

// The start-up sequence in its steps; runProgram runs them all, tests run the ones they need.
void startupComputations();
// Shows the splash window until it is clicked. False when another copy runs and the user
// chose not to start a second one.
bool runSplash(HINSTANCE instance, int showCommand);
bool registerWindowClasses(HINSTANCE instance);
void unregisterWindowClasses(HINSTANCE instance);
HWND createMainWindow(HINSTANCE instance, int showCommand);
// One message of the main loop: accelerator translation for the main window, then dispatch.
void processMessage(MSG& msg);
int runMessageLoop();

int runProgram(HINSTANCE instance, int showCommand);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK splashWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
