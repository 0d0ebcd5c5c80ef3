#pragma once

#include <windows.h>

// Draws the current surface into the back buffer, swaps and repaints at once.
void drawFrame();
void paintMainWindow(HWND window);
void animationTick();
void animationCommand(int command);

// Frame buffers of the main window, made at its creation.
bool createFrameBuffers(HWND window);
void releaseFrameBuffers();
