#pragma once
// Product constants that texts and protocols of the whole system share.

namespace pullbay::core {

inline constexpr const wchar_t* kSupportEmailAddress = L"support@pullbay.example";
inline constexpr const char* kProductVersion = "7.0.2";
inline constexpr const char* kUserAgent = "Pullbay/7.0.2";

}  // namespace pullbay::core
