#pragma once
// Product constants that texts and protocols of the whole system share.

namespace pullbay::core {

inline constexpr const wchar_t* kSupportEmailAddress = L"support@pullbay.example";

}  // namespace pullbay::core
