#pragma once
// The rules that the puts of the control's properties apply to a value, and
// the text forms their gets return. Pure functions; any thread may call them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/DownloadCompleteAction.h"
#include "model/FileExistsDialogAction.h"
#include "platform/com/NullableString.h"

namespace pullbay::model {

// 0x00BBGGRR: what a null or unusable colour text gives.
inline constexpr std::uint32_t kColorWhite = 0x00FFFFFFu;

// The rich error description of a refused BackgroundColor put.
inline constexpr const wchar_t* kColorChangeRefusedText =
    L"You can not change colors after control initialization.";

// A value inside [intMinimum, intMaximum] is kept. Below the minimum gives the
// minimum when bClampLow is set, the fallback otherwise; above the maximum
// gives the maximum when bClampHigh is set, the fallback otherwise.
std::int64_t ApplyNumberRule(std::int64_t intValue, std::int64_t intFallback,
                             std::int64_t intMinimum, std::int64_t intMaximum, bool bClampLow,
                             bool bClampHigh);

// Null gives an empty text. A text shorter than uintMinLength or at least
// uintLengthLimit UTF-16 units long gives the fallback; any other text is
// kept unchanged.
std::wstring ApplyTextRule(const com::NullableString& strValue, std::size_t uintMinLength,
                           std::size_t uintLengthLimit, std::wstring_view strFallback);

// The first name or digit that the text equals ignoring ASCII case; null and
// any other text give the value 0.
FileExistsDialogAction ParseFileExistsDialogAction(const com::NullableString& strValue);
DownloadCompleteAction ParseDownloadCompleteAction(const com::NullableString& strValue);

// An enumeration value as its gets return it: decimal digits.
std::wstring FormatEnumeration(std::int32_t intValue);

// A colour text as 0x00BBGGRR: "#rrggbb" in either case, or a keyword of
// ColorTable ignoring ASCII case; null and anything else give white.
std::uint32_t ParseColor(const com::NullableString& strValue);

// "#rrggbb" in lower case for a 0x00BBGGRR value.
std::wstring FormatColor(std::uint32_t uintColor);

}  // namespace pullbay::model
