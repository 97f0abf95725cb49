#pragma once
// The host's command line: which command to run and its options.
// Parsing is pure (no Qt, no control), so usage errors are found before
// anything starts. Any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pullbay::host {

enum class Command { Help, Version, Register, Unregister, Describe, Run, Serve, Demo };

// Who answers the dialogs of "serve".
enum class DialogMode { Default, Client, Auto };

// One "--add 'MIME|SIZE|URL|NAME'" file.
struct AddedFile {
    std::wstring strMimeType;
    std::int32_t intFileSize = 0;
    std::wstring strUrl;
    std::wstring strFileName;
};

struct HostOptions {
    Command command = Command::Help;
    // Params in command-line order (a later one of the same name wins in the bag).
    std::vector<std::pair<std::wstring, std::wstring>> params;
    // --page: a local HTML file or an http(s) URL.
    std::optional<std::string> strPage;
    std::optional<std::wstring> strPageUrl;
    std::wstring strCookie;
    std::optional<std::string> strDest;
    bool bHeadless = false;
    std::vector<AddedFile> files;
    bool bEvents = false;
    // --download: start the run at once instead of waiting for a click of
    // the control's button in the page window.
    bool bDownloadAtOnce = false;
    // demo --browser: the demo page in Chromium with the extension.
    bool bBrowser = false;
    DialogMode dialogs = DialogMode::Default;
};

// Either the options or the message of a usage error.
struct ParseResult {
    HostOptions options;
    std::string strError;
    bool Ok() const { return strError.empty(); }
};

// The arguments after the program name, as UTF-8 texts.
ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// Splits "MIME|SIZE|URL|NAME" at its first three '|' (the name may hold more);
// nullopt when a part is missing or SIZE is not a 32-bit decimal integer.
std::optional<AddedFile> ParseAddedFile(const std::string& strAdded);

const char* UsageText();

}  // namespace pullbay::host
