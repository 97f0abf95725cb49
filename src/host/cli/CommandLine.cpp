#include "host/cli/CommandLine.h"

#include <charconv>
#include <cstdint>

#include "core/TextUnits.h"

namespace pullbay::host {

namespace {

bool IsHostOption(const std::string& strOption)
{
    return strOption == "--param" || strOption == "--page" || strOption == "--page-url" ||
           strOption == "--cookie" || strOption == "--dest" || strOption == "--headless";
}

// Which options each command takes.
bool Accepts(Command command, const std::string& strOption)
{
    switch (command) {
    case Command::Run:
        return IsHostOption(strOption) || strOption == "--add" || strOption == "--events" ||
               strOption == "--download";
    case Command::Serve:
        return IsHostOption(strOption) || strOption == "--dialogs";
    case Command::Demo:
        return strOption == "--dest" || strOption == "--headless" || strOption == "--download" ||
               strOption == "--browser";
    default:
        return false;
    }
}

// Whether the SIZE of an --add value is a plain decimal number too large for
// the 32-bit size of DownloadFileAdd.
bool IsSizeBeyondAdd(const std::string& strAdded)
{
    const std::size_t uintFirst = strAdded.find('|');
    const std::size_t uintSecond =
        uintFirst == std::string::npos ? std::string::npos : strAdded.find('|', uintFirst + 1);
    if (uintSecond == std::string::npos ||
        strAdded.find('|', uintSecond + 1) == std::string::npos) {
        return false;
    }
    const std::string strSize = strAdded.substr(uintFirst + 1, uintSecond - uintFirst - 1);
    if (strSize.empty() || strSize.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    std::int32_t intSize = 0;
    const auto result = std::from_chars(strSize.data(), strSize.data() + strSize.size(), intSize);
    return result.ec == std::errc::result_out_of_range;
}

bool TakesValue(const std::string& strOption)
{
    return strOption != "--headless" && strOption != "--events" && strOption != "--download" &&
           strOption != "--browser";
}

}  // namespace

std::optional<AddedFile> ParseAddedFile(const std::string& strAdded)
{
    std::size_t uintParts[3] = {};
    std::size_t uintFrom = 0;
    for (std::size_t& uintBar : uintParts) {
        uintBar = strAdded.find('|', uintFrom);
        if (uintBar == std::string::npos) {
            return std::nullopt;
        }
        uintFrom = uintBar + 1;
    }
    const std::string strSize = strAdded.substr(uintParts[0] + 1, uintParts[1] - uintParts[0] - 1);
    AddedFile file;
    const char* pEnd = strSize.data() + strSize.size();
    const auto [pStop, error] = std::from_chars(strSize.data(), pEnd, file.intFileSize);
    if (strSize.empty() || error != std::errc() || pStop != pEnd) {
        return std::nullopt;
    }
    file.strMimeType = core::FromUtf8(strAdded.substr(0, uintParts[0]));
    file.strUrl =
        core::FromUtf8(strAdded.substr(uintParts[1] + 1, uintParts[2] - uintParts[1] - 1));
    file.strFileName = core::FromUtf8(strAdded.substr(uintParts[2] + 1));
    return file;
}

ParseResult ParseCommandLine(const std::vector<std::string>& arguments)
{
    ParseResult result;
    HostOptions& options = result.options;
    if (arguments.empty()) {
        result.strError = "no command given";
        return result;
    }
    const std::string& strCommand = arguments[0];
    if (strCommand == "--help" || strCommand == "-h" || strCommand == "help") {
        options.command = Command::Help;
    } else if (strCommand == "--version") {
        options.command = Command::Version;
    } else if (strCommand == "register") {
        options.command = Command::Register;
    } else if (strCommand == "unregister") {
        options.command = Command::Unregister;
    } else if (strCommand == "describe") {
        options.command = Command::Describe;
    } else if (strCommand == "run") {
        options.command = Command::Run;
    } else if (strCommand == "serve") {
        options.command = Command::Serve;
    } else if (strCommand == "demo") {
        options.command = Command::Demo;
    } else {
        result.strError = "unknown command: " + strCommand;
        return result;
    }
    if (options.command != Command::Run && options.command != Command::Serve &&
        options.command != Command::Demo) {
        if (arguments.size() > 1) {
            result.strError = "unexpected argument: " + arguments[1];
        }
        return result;
    }

    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& strOption = arguments[i];
        if (strOption == "--headless" && Accepts(options.command, strOption)) {
            options.bHeadless = true;
            continue;
        }
        if (strOption == "--events" && Accepts(options.command, strOption)) {
            options.bEvents = true;
            continue;
        }
        if (strOption == "--download" && Accepts(options.command, strOption)) {
            options.bDownloadAtOnce = true;
            continue;
        }
        if (strOption == "--browser" && Accepts(options.command, strOption)) {
            options.bBrowser = true;
            continue;
        }
        if (!Accepts(options.command, strOption) || !TakesValue(strOption)) {
            result.strError = "unknown option: " + strOption;
            return result;
        }
        if (i + 1 >= arguments.size()) {
            result.strError = "missing value for " + strOption;
            return result;
        }
        const std::string& strValue = arguments[++i];
        if (strOption == "--param") {
            const std::size_t uintEquals = strValue.find('=');
            if (uintEquals == std::string::npos || uintEquals == 0) {
                result.strError = "--param needs NAME=VALUE: " + strValue;
                return result;
            }
            options.params.emplace_back(core::FromUtf8(strValue.substr(0, uintEquals)),
                                        core::FromUtf8(strValue.substr(uintEquals + 1)));
        } else if (strOption == "--page") {
            if (strValue.empty()) {
                result.strError = "--page needs a file or a URL";
                return result;
            }
            options.strPage = strValue;
        } else if (strOption == "--dialogs") {
            if (strValue == "client") {
                options.dialogs = DialogMode::Client;
            } else if (strValue == "auto") {
                options.dialogs = DialogMode::Auto;
            } else {
                result.strError = "--dialogs takes client or auto: " + strValue;
                return result;
            }
        } else if (strOption == "--page-url") {
            options.strPageUrl = core::FromUtf8(strValue);
        } else if (strOption == "--cookie") {
            options.strCookie = core::FromUtf8(strValue);
        } else if (strOption == "--dest") {
            if (strValue.empty()) {
                result.strError = "--dest needs a folder";
                return result;
            }
            options.strDest = strValue;
        } else {
            std::optional<AddedFile> file = ParseAddedFile(strValue);
            if (!file && IsSizeBeyondAdd(strValue)) {
                // DownloadFileAdd takes a 32-bit size; a list declares 64 bits.
                result.strError = "--add takes sizes up to 2147483647 bytes; a larger file "
                                  "comes through a file list (--param FileList=URL): " +
                                  strValue;
                return result;
            }
            if (!file) {
                result.strError =
                    "--add needs 'MIME|SIZE|URL|NAME' with a decimal SIZE: " + strValue;
                return result;
            }
            options.files.push_back(std::move(*file));
        }
    }
    return result;
}

const char* UsageText()
{
    return "Usage:\n"
           "  pullbay demo [--dest DIR] [--headless] [--download] | --browser\n"
           "  pullbay run  [HOST OPTIONS] [--add 'MIME|SIZE|URL|NAME']... [--events] [--download]\n"
           "  pullbay serve [HOST OPTIONS] [--dialogs client|auto]\n"
           "  pullbay bridge [install [--user-data-dir DIR] [--allow-origin ORIGIN]...\n"
           "                 [--page-dialogs] | uninstall [--user-data-dir DIR]]\n"
           "  pullbay register | unregister\n"
           "  pullbay describe\n"
           "  pullbay --help | --version\n"
           "\n"
           "HOST OPTIONS:\n"
           "  --page PAGE          an HTML file or http(s) URL whose object element holds the params\n"
           "  --param NAME=VALUE   a property (repeatable; overrides the page's param)\n"
           "  --page-url URL       the page address relative URLs resolve against\n"
           "  --cookie TEXT        the page's cookie text\n"
           "  --dest DIR           the folder chosen when no window asks for one\n"
           "  --headless           no windows (always so without a display)\n"
           "\n"
           "demo serves a generated file list on a loopback port and downloads it.\n"
           "run adds each --add file, downloads once and prints the download log; stderr\n"
           "  shows each file, each rejected file-list line, why a run ended early and\n"
           "  a closing summary.\n"
           "  run and demo give the control a no-data time-out of 60 s (TimeOut=60000),\n"
           "  up to 6 connections to a server at once (ParallelDownloads=6) and a pause\n"
           "  of up to 60 s when a server answers 429 or 503 with Retry-After\n"
           "  (RetryAfterLimit=60), each unless the page or a --param names it\n"
           "  (TimeOut=0 waits for ever; RetryAfterLimit=0 fails such a file at once).\n"
           "  On a display, demo and run --page show the page with the control's button\n"
           "  and download when it is clicked (--download: at once); closing the page\n"
           "  without a download exits 2.\n"
           "  Exit status: 0 all files downloaded, 1 completed with files not downloaded\n"
           "  (a rejected list line or --add file counts as one),\n"
           "  2 the run ended early, 64 usage error.\n"
           "serve speaks JSON lines on stdin/stdout: requests, replies, events, dialogs.\n"
           "Signals (run, serve, demo): SIGINT (Ctrl-C), SIGTERM or SIGHUP cancels the run\n"
           "  at whatever stage it is (an open dialog closes as cancelled, an existing\n"
           "  file is skipped, the remaining files are skipped), removes its temporary\n"
           "  files, prints the log and summary (serve: sends the remaining events) and\n"
           "  exits 130, 143 or 129. A second Ctrl-C ends at once (temporary files\n"
           "  removed, no log).\n"
           "demo --browser opens the demo page in Chromium with the extension (a display).\n"
           "bridge is the browser extension's native host; `pullbay bridge --help` says more.\n";
}

}  // namespace pullbay::host
