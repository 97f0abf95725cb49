#pragma once
// Wording shared by the exception classes' constructors.
#include <string>

namespace pullbay::core::detail {

// The message without argument, or the pattern with "%s" replaced by the
// argument, cut to the 2048-unit message buffer.
std::wstring ChooseMessage(const wchar_t* strWithoutArgument, const wchar_t* strWithArgument,
                           const wchar_t* strArgument);

}  // namespace pullbay::core::detail
