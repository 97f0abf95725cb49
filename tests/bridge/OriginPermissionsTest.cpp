// The origins a site is known by, and what is remembered for each: one
// spelling per origin, nothing for what is no web origin, and an uninstall
// that takes back the grants of the install but not the user's answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "bridge/HostManifest.h"
#include "bridge/OriginPermissions.h"
#include "platform/registry/RegistryStore.h"

namespace pullbay::bridge {
namespace {

TEST(OriginPermissionsTest, NormalizeGivesOneSpellingAndRefusesWhatIsNoWebOrigin)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"http://127.0.0.1:8080", "http://127.0.0.1:8080"},
        {"HTTPS://Example.ORG/", "https://example.org"},
        {"https://example.org:443", "https://example.org"},
        {"http://example.org:80", "http://example.org"},
        {"http://example.org:443", "http://example.org:443"},
        {"http://[::1]:9000", "http://[::1]:9000"},
        {"null", std::nullopt},
        {"file://", std::nullopt},
        {"chrome-extension://abc", std::nullopt},
        {"https://example.org/path", std::nullopt},
        {"https://user@example.org", std::nullopt},
        {"https://", std::nullopt},
        {"https://example.org:0", std::nullopt},
        {"https://example.org:99999", std::nullopt},
        {"https://example.org:", std::nullopt},
    };
    for (const auto& [strOrigin, expected] : cases) {
        EXPECT_EQ(OriginPermissions::Normalize(strOrigin), expected) << strOrigin;
    }
}

TEST(OriginPermissionsTest, DecisionsAreRememberedPerOriginAndUninstallTakesBackOnlyItsOwn)
{
    EXPECT_EQ(OriginPermissions::Get("https://a.example"), std::nullopt);
    ASSERT_TRUE(Succeeded(OriginPermissions::Set("https://a.example", OriginGrant::Allowed)));
    ASSERT_TRUE(Succeeded(OriginPermissions::Set("https://b.example", OriginGrant::Denied)));
    ASSERT_TRUE(
        Succeeded(OriginPermissions::Set("http://c.example:81", OriginGrant::AllowedAtInstall)));
    ASSERT_TRUE(
        Succeeded(OriginPermissions::Set("http://d.example", OriginGrant::AllowedWithPageDialogs)));
    EXPECT_EQ(OriginPermissions::Set("null", OriginGrant::Allowed), E_INVALIDARG);

    // Any spelling of the same origin finds the same decision.
    EXPECT_EQ(OriginPermissions::Get("HTTPS://A.example:443/"), OriginGrant::Allowed);
    EXPECT_EQ(OriginPermissions::Get("https://b.example"), OriginGrant::Denied);
    EXPECT_EQ(OriginPermissions::Get("http://c.example:81"), OriginGrant::AllowedAtInstall);
    EXPECT_EQ(OriginPermissions::Get("http://c.example"), std::nullopt);
    EXPECT_EQ(OriginPermissions::Get("http://d.example"), OriginGrant::AllowedWithPageDialogs);

    ASSERT_TRUE(Succeeded(OriginPermissions::RemoveInstallGrants()));
    EXPECT_EQ(OriginPermissions::Get("https://a.example"), OriginGrant::Allowed);
    EXPECT_EQ(OriginPermissions::Get("https://b.example"), OriginGrant::Denied);
    EXPECT_EQ(OriginPermissions::Get("http://c.example:81"), std::nullopt);
    EXPECT_EQ(OriginPermissions::Get("http://d.example"), std::nullopt);
    std::filesystem::path store;
    ASSERT_TRUE(Succeeded(platform::GetRegistryStoreFolder(store)));
    std::filesystem::remove_all(store);
}

TEST(HostManifestTest, InstallWritesTheManifestAndUninstallRemovesExactlyIt)
{
    const std::filesystem::path profile =
        std::filesystem::path(std::getenv("TMPDIR")) / "manifest-profile";
    const std::vector<std::filesystem::path> folders = HostManifest::Folders(profile);
    ASSERT_EQ(folders, std::vector<std::filesystem::path>{profile / "NativeMessagingHosts"});
    std::filesystem::create_directories(folders[0]);
    std::ofstream(folders[0] / "other.host.json") << "{}";

    std::vector<std::filesystem::path> written;
    std::string strError;
    ASSERT_TRUE(HostManifest::Install("/opt/pb/pullbay", folders, written, strError)) << strError;
    ASSERT_EQ(written, std::vector<std::filesystem::path>{HostManifest::FileIn(folders[0])});
    std::ifstream input(written[0]);
    const std::string strText((std::istreambuf_iterator<char>(input)), {});
    EXPECT_NE(strText.find("\"path\": \"/opt/pb/pullbay\""), std::string::npos) << strText;
    EXPECT_NE(strText.find("chrome-extension://" + std::string(HostManifest::kExtensionId) + "/"),
              std::string::npos);

    EXPECT_EQ(HostManifest::Uninstall(folders), written);
    EXPECT_FALSE(std::filesystem::exists(written[0]));
    EXPECT_TRUE(std::filesystem::exists(folders[0] / "other.host.json"));
    EXPECT_TRUE(HostManifest::Uninstall(folders).empty());
    std::filesystem::remove_all(profile);
}

TEST(HostManifestTest, WithoutAProfileTheUserFoldersOfBothBrowsersAreUsed)
{
    const std::vector<std::filesystem::path> folders = HostManifest::Folders(std::nullopt);
    const std::filesystem::path config = std::getenv("XDG_CONFIG_HOME");
    EXPECT_EQ(folders, (std::vector<std::filesystem::path>{
                           config / "chromium" / "NativeMessagingHosts",
                           config / "google-chrome" / "NativeMessagingHosts"}));
}

}  // namespace
}  // namespace pullbay::bridge
