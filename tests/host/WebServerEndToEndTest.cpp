// The host program against a real web server: nginx serves files written by
// the test over plain HTTP and over HTTPS with a certificate of the test's
// own, and every downloaded file is compared byte for byte with its source.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "HostProcess.h"
#include "support/NginxServer.h"
#include "support/PatternBytes.h"
#include "support/TestFiles.h"
#include "support/TlsIdentity.h"

namespace pullbay::test {
namespace {

// Sets (or, with nullopt, unsets) an environment variable that the host
// inherits, and puts the old value back at the end of the scope.
class ScopedEnvironment {
public:
    ScopedEnvironment(std::string strName, const std::optional<std::string>& value)
        : m_strName(std::move(strName))
    {
        if (const char* strOld = std::getenv(m_strName.c_str())) {
            m_old = strOld;
        }
        Apply(value);
    }
    ~ScopedEnvironment() { Apply(m_old); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    void Apply(const std::optional<std::string>& value) const
    {
        value ? ::setenv(m_strName.c_str(), value->c_str(), 1) : ::unsetenv(m_strName.c_str());
    }
    std::string m_strName;
    std::optional<std::string> m_old;
};

// One served file: its path under the server's root, which is also the name
// the host is given (so its place under the destination), and its URL path.
struct ServedFile {
    std::string strPath;
    std::string strUrlPath;
    std::string strMime;
    std::string strBody;
};

constexpr std::size_t kBigFileSize = 3 * 1024 * 1024;

std::string AddArgument(const std::string& strMime, std::size_t uintSize, const std::string& strUrl,
                        const std::string& strName)
{
    return strMime + "|" + std::to_string(uintSize) + "|" + strUrl + "|" + strName;
}

class WebServerEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string strTemplate = std::string(std::getenv("TMPDIR")) + "/webXXXXXX";
        ASSERT_NE(::mkdtemp(strTemplate.data()), nullptr);
        folder = strTemplate;
        dest = folder / "dest";
        server.emplace(folder / "server");
        for (const ServedFile& file : files) {
            const std::filesystem::path path = server->Root() / file.strPath;
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path, std::ios::binary) << file.strBody;
        }
        // A certificate for 127.0.0.1 that is its own trust anchor.
        const TlsIdentity identity = TlsIdentity::SelfSigned("127.0.0.1");
        std::ofstream(folder / "ca.pem") << identity.certificatePem;
        ASSERT_EQ(server->Start(identity.certificatePem, identity.privateKeyPem), "");
    }

    void TearDown() override
    {
        server.reset();
        std::filesystem::remove_all(folder);
    }

    ChildResult Download(const std::string& strBaseUrl,
                         const std::vector<ServedFile>& toFetch) const
    {
        std::vector<std::string> arguments{"run", "--headless", "--dest", dest.string()};
        for (const ServedFile& file : toFetch) {
            arguments.push_back("--add");
            arguments.push_back(AddArgument(file.strMime, file.strBody.size(),
                                            strBaseUrl + file.strUrlPath, file.strPath));
        }
        return RunHost(arguments);
    }

    void ExpectEveryFileDownloaded(const ChildResult& result, const std::string& strBaseUrl) const
    {
        EXPECT_EQ(result.intExit, 0) << result.strOut << result.strErr;
        for (const ServedFile& file : files) {
            const std::filesystem::path path = dest / file.strPath;
            const std::string strContent = ReadFile(path);
            EXPECT_EQ(strContent.size(), file.strBody.size()) << path;
            EXPECT_TRUE(strContent == file.strBody) << path << " differs from its source";
            // The log names the file where it was stored, sub-folder included.
            const std::string strLine = "File " + path.string() + " has been downloaded from " +
                                        strBaseUrl + file.strUrlPath;
            EXPECT_NE(result.strOut.find(strLine), std::string::npos) << strLine << "\nnot in:\n"
                                                                      << result.strOut;
        }
    }

    std::vector<std::filesystem::path> FilesInDest() const
    {
        std::vector<std::filesystem::path> found;
        if (std::filesystem::exists(dest)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(dest)) {
                if (!entry.is_directory()) {
                    found.push_back(entry.path());
                }
            }
        }
        return found;
    }

    const std::vector<ServedFile> files = {
        {"a.txt", "/a.txt", "text/plain", "first file, served by nginx\n"},
        {"big.bin", "/big.bin", "application/octet-stream", PatternBytes(0, kBigFileSize, 7)},
        {"docs/inner.txt", "/docs/inner.txt", "text/plain", "a file in a sub-folder\n"},
        {"my file.txt", "/my%20file.txt", "text/plain", "a name with a space\n"},
    };
    std::filesystem::path folder;
    std::filesystem::path dest;
    std::optional<NginxServer> server;
};

TEST_F(WebServerEndToEndTest, PlainHttpDownloadsEveryFileByteForByte)
{
    ExpectEveryFileDownloaded(Download(server->HttpUrl(), files), server->HttpUrl());
}

TEST_F(WebServerEndToEndTest, HttpsTrustsTheCertificateOnlyThroughTheBundleVariable)
{
    {
        const ScopedEnvironment bundle("CURL_CA_BUNDLE", (folder / "ca.pem").string());
        ExpectEveryFileDownloaded(Download(server->HttpsUrl(), files), server->HttpsUrl());
    }
    std::filesystem::remove_all(dest);

    // The system store does not know the test's certificate: the handshake
    // fails (on every further attempt too) and nothing is written. One file
    // is enough; each takes its attempts and pauses.
    const ScopedEnvironment noBundle("CURL_CA_BUNDLE", std::nullopt);
    const ChildResult result = Download(server->HttpsUrl(), {files[0]});
    EXPECT_EQ(result.intExit, 1) << result.strOut << result.strErr;
    EXPECT_EQ(FilesInDest(), std::vector<std::filesystem::path>{});
    const std::string strLine = "Failed to download file " + (dest / "a.txt").string() + " from " +
                                server->HttpsUrl() + "/a.txt: Download error";
    EXPECT_NE(result.strOut.find(strLine), std::string::npos) << strLine << "\nnot in:\n"
                                                              << result.strOut;
    EXPECT_NE(result.strErr.find("failed a.txt"), std::string::npos) << result.strErr;
}

TEST_F(WebServerEndToEndTest, MissingFilesAndWrongSizesFailTheirFileOnly)
{
    struct Case {
        std::string strUrlPath;
        std::size_t uintDeclaredSize;
        std::string strName;
        std::string strReason;
    };
    const std::size_t uintSmall = files[0].strBody.size();
    const std::vector<Case> cases = {
        {"/gone.txt", 5, "gone.txt", "Resource not found"},
        {"/docs/missing.txt", 5, "missing.txt", "Resource not found"},
        {"/a.txt", uintSmall + 1, "longer.txt", "Wrong file size"},
        {"/a.txt", uintSmall - 1, "shorter.txt", "Wrong file size"},
        {"/big.bin", kBigFileSize - 4096, "big-short.bin", "Wrong file size"},
    };
    std::vector<std::string> arguments{"run", "--headless", "--dest", dest.string()};
    for (const Case& testCase : cases) {
        const std::string strMime =
            testCase.strUrlPath == "/big.bin" ? "application/octet-stream" : "text/plain";
        arguments.push_back("--add");
        arguments.push_back(AddArgument(strMime, testCase.uintDeclaredSize,
                                        server->HttpUrl() + testCase.strUrlPath, testCase.strName));
    }
    // A good file among them: a failing file never ends the run.
    arguments.push_back("--add");
    arguments.push_back(
        AddArgument("text/plain", uintSmall, server->HttpUrl() + "/a.txt", "good.txt"));

    const ChildResult result = RunHost(arguments);
    EXPECT_EQ(result.intExit, 1) << result.strOut << result.strErr;
    for (const Case& testCase : cases) {
        const std::string strLine =
            "Failed to download file " + (dest / testCase.strName).string() + " from " +
            server->HttpUrl() + testCase.strUrlPath + ": " + testCase.strReason;
        EXPECT_NE(result.strOut.find(strLine), std::string::npos) << strLine << "\nnot in:\n"
                                                                  << result.strOut;
    }
    EXPECT_EQ(FilesInDest(), std::vector<std::filesystem::path>{dest / "good.txt"});
    EXPECT_EQ(ReadFile(dest / "good.txt"), files[0].strBody);
}

}  // namespace
}  // namespace pullbay::test
