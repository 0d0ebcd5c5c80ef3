#pragma once

// The program's own texts, exactly as the user sees them.
inline constexpr wchar_t kMainClass[] = L"Graphic";
inline constexpr wchar_t kMainTitle[] = L"Vexarond4.1.6Jwin";
inline constexpr wchar_t kSplashClass[] = L"Open";
inline constexpr wchar_t kSplashTitle[] = L"Vexarond Openning";
inline constexpr wchar_t kInstanceEventName[] = L"Vexarond365";
inline constexpr wchar_t kAlreadyRunningCaption[] = L"警告！";
inline constexpr wchar_t kAlreadyRunningText[] =
    L"すでに同じアプリケーションが動作中です、\n起動しますか？";

inline constexpr wchar_t kMenuName[] = L"FIPROC";
inline constexpr wchar_t kAcceleratorsName[] = L"MyMenu";
inline constexpr wchar_t kIconName[] = L"VEXRONICON";
inline constexpr wchar_t kSplashBitmapName[] = L"IDB_OPENBITMAP";

inline constexpr wchar_t kErrorCaption[] = L"Error";
inline constexpr wchar_t kOutOfMemoryText[] = L"メモリーが足りません。";
