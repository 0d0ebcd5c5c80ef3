// Command and control ids shared by the menu, the accelerators and the tool windows.
// Resource names ("FIPROC", "MyMenu", "VEXRONICON", "IDB_OPENBITMAP") are strings, not ids.
#pragma once

// File menu
#define IDM_SAVE_PICTURE 1910
#define IDM_CAPTURE_SERIES 1920
#define IDM_QUIT 1990

// Display menu: flag colours 2208..2214 (index = id - 2208), picture, wireframe
#define IDM_SURFACE_PINK 2208
#define IDM_SURFACE_CYAN 2209
#define IDM_SURFACE_YELLOW 2210
#define IDM_SURFACE_BLUE 2211
#define IDM_SURFACE_GREEN 2212
#define IDM_SURFACE_RED 2213
#define IDM_SURFACE_WHITE 2214
#define IDM_CHOOSE_PICTURE 2215
#define IDM_SHOW_PICTURE 2216
#define IDM_WIREFRAME 2217

// Display menu: backgrounds 2220..2227 (index = id - 2220)
#define IDM_BACKGROUND_PINK 2220
#define IDM_BACKGROUND_CYAN 2221
#define IDM_BACKGROUND_YELLOW 2222
#define IDM_BACKGROUND_BLUE 2223
#define IDM_BACKGROUND_GREEN 2224
#define IDM_BACKGROUND_RED 2225
#define IDM_BACKGROUND_WHITE 2226
#define IDM_BACKGROUND_BLACK 2227

// Animation menu
#define IDM_PLAY_BACKWARD 2310
#define IDM_STOP 2311
#define IDM_PLAY_FORWARD 2312
#define IDM_STEP_BACKWARD 2313
#define IDM_STEP_FORWARD 2314

// Window menu
#define IDM_WAVE_WINDOW 2410
#define IDM_LIGHT_WINDOW 2420
#define IDM_CONTROL_WINDOW 2430
#define IDM_ERASE_WINDOW 2440

// Tool window buttons shared by the wave and light windows: IDOK (1) applies, IDCANCEL (2)
// returns to the last applied values.

// Wave window: five sliders, the ripple group and its three radio buttons
#define IDC_WAVE_PERIOD 12000
#define IDC_WAVE_HEIGHT 12001
#define IDC_WAVE_DIRECTION 12002
#define IDC_WAVE_TURBULENCE 12003
#define IDC_WAVE_SPEED 12004
#define IDC_RIPPLE_GROUP 12010
#define IDC_RIPPLE_FIRST 12011
#define IDC_RIPPLE_LAST 12013

// Light window: surface and intensity sliders
#define IDC_LIGHT_SURFACE 12111
#define IDC_LIGHT_INTENSITY 12112

// Control box: two radio groups mirrored by the menu commands, buttons and the aspect switch
#define IDC_BACKGROUND_GROUP 12200
#define IDC_BACKGROUND_FIRST 12201
#define IDC_BACKGROUND_LAST 12208
#define IDC_SURFACE_GROUP 12210
#define IDC_SURFACE_FIRST 12211
#define IDC_SURFACE_PICTURE 12218
#define IDC_SURFACE_WIREFRAME 12219
#define IDC_CHOOSE_PICTURE 12220
#define IDC_FIT_TO_PICTURE 12221
#define IDC_PLAY_BACKWARD 12231
#define IDC_STOP 12232
#define IDC_PLAY_FORWARD 12233
#define IDC_STEP_BACKWARD 12234
#define IDC_STEP_FORWARD 12235

// Erase colour window and its picking dialog
#define IDC_ERASE_TOLERANCE 12300
#define IDC_ERASE_ENABLED 12310
#define IDC_COLOUR_CHOOSER 12320
#define IDC_FROM_PICTURE 12330
#define IDC_ERASE_RED 12340
#define IDC_ERASE_GREEN 12350
#define IDC_ERASE_BLUE 12360
#define IDC_ERASE_SWATCH 12370
#define IDC_PREVIEW_FRAME 12380

// Save settings dialogs
#define IDC_JPEG_QUALITY 11000
#define IDC_JPEG_QUALITY_LABEL 11001
#define IDC_JPEG_PROGRESSIVE 11002
#define IDC_BMP_DEPTH_16 11010
#define IDC_BMP_DEPTH_24 11011
#define IDC_BMP_DEPTH_32 11012
#define IDC_ANIMATION_SEAMLESS 11020
#define IDC_ANIMATION_TRANSPARENT 11021
#define IDC_GIF_DITHER 11022
#define IDC_WEBP_LOSSLESS 11023
#define IDC_WEBP_QUALITY 11024
#define IDC_WEBP_QUALITY_LABEL 11025
