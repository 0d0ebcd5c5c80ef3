#pragma once

// The picture file commands' messages, exactly as the user reads them, in message boxes with
// one OK button.
inline constexpr wchar_t kErrorCaption[] = L"Error";
inline constexpr wchar_t kNameTooLongText[] = L"ファイル名が長すぎます";
inline constexpr wchar_t kCannotWriteText[] = L"ファイル作成に失敗しました";
