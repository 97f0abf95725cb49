#include "engine/FileOutcome.h"

#include <charconv>
#include <string_view>
#include <utility>

#include "core/TextUnits.h"
#include "net/InternetErrors.h"

namespace pullbay::engine {

namespace {

constexpr const wchar_t* kUnexpectedFailure = L"An unexpected failure occurred.";

}  // namespace

FileOutcome FileOutcome::Of(Kind kind)
{
    FileOutcome outcome;
    outcome.kind = kind;
    return outcome;
}

FileOutcome FileOutcome::WriteError(std::int32_t intErrorCode, const core::Exception& cause)
{
    const wchar_t* strMessage = cause.GetMessage();
    return WriteError(intErrorCode, *strMessage != L'\0' ? strMessage : kUnexpectedFailure,
                      cause.GetReason());
}

FileOutcome FileOutcome::WriteError(std::int32_t intErrorCode, std::wstring strText,
                                    std::wstring strReason)
{
    FileOutcome outcome = Of(Kind::WriteError);
    outcome.intErrorCode = intErrorCode;
    outcome.strText = std::move(strText);
    outcome.strReason = std::move(strReason);
    return outcome;
}

FileOutcome FileOutcome::TransferFailed(net::TransferOutcome transfer)
{
    FileOutcome outcome = Of(Kind::TransferFailed);
    outcome.transfer = std::move(transfer);
    return outcome;
}

std::wstring FileOutcome::TransferFailureText(bool bLocalPaths,
                                              const std::wstring& strTempPath) const
{
    char buffer[16];
    const auto converted = std::to_chars(buffer, buffer + sizeof buffer, transfer.intErrorCode);
    std::wstring strText =
        core::FromUtf8(std::string_view(buffer, static_cast<std::size_t>(converted.ptr - buffer))) +
        L": " + net::TransferFailureText(transfer);
    if (transfer.intErrorCode == net::kErrorFileSystem) {
        std::wstring strDetail = bLocalPaths ? strWriteFailure : strWriteFailureReason;
        if (bLocalPaths && !strTempPath.empty()) {
            strDetail += (strDetail.empty() ? L"writing " : L", writing ") + strTempPath;
        }
        if (!strDetail.empty()) {
            strText += L" (" + strDetail + L")";
        }
    }
    return strText;
}

}  // namespace pullbay::engine
