#pragma once
// The placeholders that the dialogs substitute in their text templates with
// ReplaceAll. Exact and case-sensitive: "[count]" is lower case, "[Current]"
// is not "[current]". Constants only; usable from any thread.
#include <string_view>

namespace pullbay::ui {

inline constexpr std::wstring_view kPlaceholderFileName = L"[FileName]";
inline constexpr std::wstring_view kPlaceholderUrl = L"[Url]";
inline constexpr std::wstring_view kPlaceholderReason = L"[Reason]";
inline constexpr std::wstring_view kPlaceholderDeclaredFileName = L"[DeclaredFileName]";
inline constexpr std::wstring_view kPlaceholderMimeType = L"[MimeType]";
inline constexpr std::wstring_view kPlaceholderDeclaredMimeType = L"[DeclaredMimeType]";
inline constexpr std::wstring_view kPlaceholderDestinationFolder = L"[DestinationFolder]";
inline constexpr std::wstring_view kPlaceholderCurrent = L"[Current]";
inline constexpr std::wstring_view kPlaceholderTotal = L"[Total]";
inline constexpr std::wstring_view kPlaceholderRate = L"[Rate]";
inline constexpr std::wstring_view kPlaceholderTimeLeft = L"[TimeLeft]";
inline constexpr std::wstring_view kPlaceholderCount = L"[count]";

}  // namespace pullbay::ui
