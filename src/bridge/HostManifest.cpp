#include "bridge/HostManifest.h"

#include <fcntl.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace pullbay::bridge {

namespace {

std::optional<std::filesystem::path> ConfigHome()
{
    const char* pConfig = std::getenv("XDG_CONFIG_HOME");
    if (pConfig != nullptr && *pConfig == '/') {
        return std::filesystem::path(pConfig);
    }
    const char* pHome = std::getenv("HOME");
    if (pHome != nullptr && *pHome == '/') {
        return std::filesystem::path(pHome) / ".config";
    }
    return std::nullopt;
}

// Writes the text to a temporary file beside the target and renames it
// over, so a browser never reads half a manifest.
bool WriteWhole(const std::filesystem::path& file, const std::string& strText,
                std::string& strError)
{
    const std::filesystem::path temporary = file.string() + ".tmp";
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        strError = temporary.string() + ": " + std::strerror(errno);
        return false;
    }
    std::size_t uintDone = 0;
    while (uintDone < strText.size()) {
        const ssize_t intWritten =
            ::write(fd, strText.data() + uintDone, strText.size() - uintDone);
        if (intWritten < 0 && errno == EINTR) {
            continue;
        }
        if (intWritten <= 0) {
            strError = temporary.string() + ": " + std::strerror(errno);
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        uintDone += static_cast<std::size_t>(intWritten);
    }
    if (::close(fd) != 0 || ::rename(temporary.c_str(), file.c_str()) != 0) {
        strError = file.string() + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::string HostManifest::Text(const std::filesystem::path& program)
{
    QJsonObject manifest;
    manifest.insert("name", kHostName);
    manifest.insert("description", "Pullbay download control");
    manifest.insert("path", QString::fromStdString(program.string()));
    manifest.insert("type", "stdio");
    manifest.insert("allowed_origins",
                    QJsonArray{QString("chrome-extension://%1/").arg(kExtensionId)});
    return QJsonDocument(manifest).toJson(QJsonDocument::Indented).toStdString();
}

std::vector<std::filesystem::path> HostManifest::Folders(
    const std::optional<std::filesystem::path>& userDataDir)
{
    if (userDataDir) {
        return {std::filesystem::absolute(*userDataDir) / "NativeMessagingHosts"};
    }
    const std::optional<std::filesystem::path> configHome = ConfigHome();
    if (!configHome) {
        return {};
    }
    return {*configHome / "chromium" / "NativeMessagingHosts",
            *configHome / "google-chrome" / "NativeMessagingHosts"};
}

std::filesystem::path HostManifest::FileIn(const std::filesystem::path& folder)
{
    return folder / (std::string(kHostName) + ".json");
}

bool HostManifest::Install(const std::filesystem::path& program,
                           const std::vector<std::filesystem::path>& folders,
                           std::vector<std::filesystem::path>& written, std::string& strError)
{
    const std::string strText = Text(program);
    for (const std::filesystem::path& folder : folders) {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (error) {
            strError = folder.string() + ": " + error.message();
            return false;
        }
        if (!WriteWhole(FileIn(folder), strText, strError)) {
            return false;
        }
        written.push_back(FileIn(folder));
    }
    return true;
}

std::vector<std::filesystem::path> HostManifest::Uninstall(
    const std::vector<std::filesystem::path>& folders)
{
    std::vector<std::filesystem::path> removed;
    for (const std::filesystem::path& folder : folders) {
        std::error_code error;
        if (std::filesystem::remove(FileIn(folder), error)) {
            removed.push_back(FileIn(folder));
        }
    }
    return removed;
}

}  // namespace pullbay::bridge
