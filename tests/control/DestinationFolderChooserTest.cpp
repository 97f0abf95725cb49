// The destination folder choice: where the browser opens, what is remembered
// for the next run, what a run is told, and the Qt dialog behind it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include "control/DestinationFolderChooser.h"
#include "core/ExceptionManager.h"
#include "core/Exceptions.h"
#include "core/TextUnits.h"
#include "core/ThreadId.h"
#include "core/ThrowSite.h"
#include "dialogs/QtFolderBrowser.h"
#include "platform/registry/RegistryTypes.h"
#include "platform/shell/ItemIdList.h"
#include "platform/shell/PolicyFolderBrowser.h"
#include "tools/PidlItem.h"
#include "tools/PidlWrapper.h"

namespace pullbay::control {
namespace {

using platform::shell::ItemIdBytes;
using platform::shell::ItemIdList;
using platform::shell::PolicyFolderBrowser;
using platform::shell::SpecialFolder;

constexpr const wchar_t* kSettingsKey = L"Software\\Velmora\\Pullbay\\Standard 7";
constexpr const wchar_t* kTitle = L"Select the destination folder to download files to.";

std::optional<std::wstring> PathOf(const tools::PidlItem& item)
{
    if (item.IsEmpty()) {
        return std::nullopt;
    }
    return ItemIdList::ToPath(item.Data(), item.GetSize());
}

std::wstring RecordedFunction()
{
    const auto pRecord = core::ExceptionManager::GetException(core::CurrentThreadId());
    return pRecord ? pRecord->GetFunction() : L"";
}

TEST(DestinationFolderNameTest, NamesAndDigitsInAnyCase)
{
    const std::pair<const wchar_t*, SpecialFolder> names[] = {
        {L"bitbucket", SpecialFolder::BitBucket},   {L"DESKTOP", SpecialFolder::Desktop},
        {L"MyComputer", SpecialFolder::MyComputer}, {L"myDocuments", SpecialFolder::MyDocuments},
        {L"mYmUsIc", SpecialFolder::MyMusic},       {L"mypictures", SpecialFolder::MyPictures},
        {L"MyVideo", SpecialFolder::MyVideo},       {L"Network", SpecialFolder::Network},
        {L"recent", SpecialFolder::Recent},
    };
    for (std::size_t uintDigit = 0; uintDigit < std::size(names); ++uintDigit) {
        const auto& [strName, folder] = names[uintDigit];
        EXPECT_EQ(DestinationFolderChooser::SpecialFolderFromName(strName), folder);
        EXPECT_EQ(DestinationFolderChooser::SpecialFolderFromName(std::to_wstring(uintDigit)),
                  folder);
    }
    // Anything else is a path; the dotted capital I does not fold.
    for (const wchar_t* strOther :
         {L"9", L"05", L" 5", L"MyPictures ", L"Pictures", L"MYP\u0130CTURES", L""}) {
        EXPECT_FALSE(DestinationFolderChooser::SpecialFolderFromName(strOther).has_value());
    }
}

// HOME and XDG_CONFIG_HOME (which holds the registry store and
// user-dirs.dirs) point at folders of the test's own.
class DestinationFolderChooserTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string strPattern = std::string(std::getenv("TMPDIR")) + "/chooser-XXXXXX";
        ASSERT_NE(::mkdtemp(strPattern.data()), nullptr);
        m_root = strPattern;
        for (const char* strFolder : {"home/Pictures", "home/Downloads", "home/Other", "config"}) {
            std::filesystem::create_directories(m_root / strFolder);
        }
        ::setenv("HOME", (m_root / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        core::ClearRecordedFailure();
    }

    void TearDown() override
    {
        ::setenv("HOME", m_strSavedHome.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", m_strSavedConfig.c_str(), 1);
        std::filesystem::remove_all(m_root);
        core::ClearRecordedFailure();
    }

    std::wstring HomePath(const std::string& strRelative) const
    {
        return core::FromUtf8((m_root / "home" / strRelative).string());
    }

    std::shared_ptr<PolicyFolderBrowser> MakeBrowser(const std::wstring& strAnswer) const
    {
        return std::make_shared<PolicyFolderBrowser>(
            strAnswer.empty() ? ItemIdBytes{} : ItemIdList::FromPath(strAnswer));
    }

    static std::optional<std::wstring> InitialPathOf(const PolicyFolderBrowser& browser)
    {
        return ItemIdList::ToPath(browser.GetLastInitialFolder());
    }

    std::filesystem::path m_root;
    const std::string m_strSavedHome = std::getenv("HOME");
    const std::string m_strSavedConfig = std::getenv("XDG_CONFIG_HOME");
};

TEST_F(DestinationFolderChooserTest, SpecialNameOrDigitOpensAtItsFolder)
{
    for (const wchar_t* strDefault : {L"mypictures", L"5"}) {
        SCOPED_TRACE(core::ToUtf8(strDefault));
        auto pBrowser = MakeBrowser(L"");
        DestinationFolderChooser chooser(kSettingsKey, pBrowser);
        EXPECT_TRUE(chooser.ChooseFolder(kTitle, strDefault).IsEmpty());
        EXPECT_EQ(pBrowser->GetLastTitle(), kTitle);
        EXPECT_EQ(InitialPathOf(*pBrowser), HomePath("Pictures"));
    }
}

TEST_F(DestinationFolderChooserTest, OtherTextsOpenAtTheirFolderWhenItExists)
{
    const struct {
        std::wstring strDefault;
        std::optional<std::wstring> strInitial;
    } rows[] = {
        {HomePath("Downloads"), HomePath("Downloads")},
        {L"MyComputer", L"/"},
        {HomePath("Missing"), std::nullopt},
        {L"Pictures", std::nullopt},
        {L"", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(core::ToUtf8(row.strDefault));
        auto pBrowser = MakeBrowser(L"");
        DestinationFolderChooser(kSettingsKey, pBrowser).ChooseFolder(kTitle, row.strDefault);
        EXPECT_EQ(InitialPathOf(*pBrowser), row.strInitial);
        EXPECT_EQ(pBrowser->GetLastInitialFolder().empty(), !row.strInitial.has_value());
    }
}

TEST_F(DestinationFolderChooserTest, TheLastChoiceOutlivesTheChooserAndWinsOverTheDefault)
{
    {
        DestinationFolderChooser first(kSettingsKey, MakeBrowser(HomePath("Downloads")));
        EXPECT_TRUE(first.GetLastFolder().IsEmpty());
        EXPECT_EQ(PathOf(first.ChooseFolder(kTitle, L"MyPictures")), HomePath("Downloads"));
    }

    auto pBrowser = MakeBrowser(HomePath("Other"));
    DestinationFolderChooser second(kSettingsKey, pBrowser);
    EXPECT_EQ(PathOf(second.GetLastFolder()), HomePath("Downloads"));
    EXPECT_EQ(PathOf(second.ChooseFolder(kTitle, L"MyPictures")), HomePath("Other"));
    EXPECT_EQ(InitialPathOf(*pBrowser), HomePath("Downloads"));

    // Each choice replaces the one before.
    EXPECT_EQ(PathOf(second.GetLastFolder()), HomePath("Other"));
}

TEST_F(DestinationFolderChooserTest, AVirtualFolderIsOfferedButCannotBeChosen)
{
    auto pBrowser =
        std::make_shared<PolicyFolderBrowser>(ItemIdList::FromVirtualFolder(L"BitBucket"));
    DestinationFolderChooser chooser(kSettingsKey, pBrowser);
    EXPECT_TRUE(chooser.ChooseFolder(kTitle, L"BitBucket").IsEmpty());
    EXPECT_EQ(ItemIdList::VirtualFolderName(pBrowser->GetLastInitialFolder()), L"BitBucket");

    // Nothing was remembered: the next run opens at its default again.
    pBrowser->SetAnswer({});
    chooser.ChooseFolder(kTitle, L"0");
    EXPECT_EQ(ItemIdList::VirtualFolderName(pBrowser->GetLastInitialFolder()), L"BitBucket");
}

TEST_F(DestinationFolderChooserTest, ARunIsToldOfTheChoiceOrEndsWhenCancelled)
{
    int intChosen = 0;
    int intCancelled = 0;
    const DestinationFolderChooser::RunEvents events{[&] { ++intCancelled; }, [&] { ++intChosen; }};

    DestinationFolderChooser chooser(kSettingsKey, MakeBrowser(HomePath("Downloads")));
    const DestinationFolderChooser::Destination destination =
        chooser.ChooseDestinationFolder(kTitle, L"MyPictures", events);
    EXPECT_EQ(destination.strPath, HomePath("Downloads"));
    EXPECT_EQ(PathOf(destination.folder), HomePath("Downloads"));
    EXPECT_EQ(intChosen, 1);
    EXPECT_EQ(intCancelled, 0);

    DestinationFolderChooser cancelling(kSettingsKey, MakeBrowser(L""));
    try {
        cancelling.ChooseDestinationFolder(kTitle, L"MyPictures", events);
        FAIL() << "a cancelled choice must end the run";
    } catch (const core::AbortedException& exception) {
        EXPECT_STREQ(exception.GetFunction(), L"Pullbay::ChooseDestinationFolder");
    }
    EXPECT_EQ(intChosen, 1);
    EXPECT_EQ(intCancelled, 1);
    EXPECT_EQ(RecordedFunction(), L"Pullbay::ChooseDestinationFolder");

    // Without hooks the outcome is the same.
    EXPECT_THROW(cancelling.ChooseDestinationFolder(kTitle, L"", {}), core::AbortedException);
}

TEST_F(DestinationFolderChooserTest, AStoreThatFailsChangesNothingButTheRecord)
{
    // The registry store cannot be created where a file stands in its way.
    std::ofstream(m_root / "config" / "pullbay") << "not a folder";

    DestinationFolderChooser chooser(kSettingsKey, MakeBrowser(HomePath("Downloads")));
    EXPECT_EQ(PathOf(chooser.ChooseFolder(kTitle, L"MyPictures")), HomePath("Downloads"));
    EXPECT_EQ(RecordedFunction(), L"Pullbay::ChooseFolder");

    core::ClearRecordedFailure();
    EXPECT_TRUE(chooser.GetLastFolder().IsEmpty());
    EXPECT_EQ(RecordedFunction(), L"Pullbay::GetLastFolder");
}

TEST_F(DestinationFolderChooserTest, ADamagedStoredFolderIsTakenAsNone)
{
    const ItemIdBytes damaged[] = {ItemIdList::FromVirtualFolder(L"Recent"),
                                   ItemIdBytes{3, 0, 1, 9, 0}};
    for (const ItemIdBytes& bytes : damaged) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        tools::PidlWrapper::SavePidlToRegistry(platform::RegistryRoot::CurrentUser, kSettingsKey,
                                               DestinationFolderChooser::kLastVisitedFolderValue,
                                               tools::PidlItem(bytes));
        auto pBrowser = MakeBrowser(L"");
        DestinationFolderChooser chooser(kSettingsKey, pBrowser);
        EXPECT_TRUE(chooser.GetLastFolder().IsEmpty());
        chooser.ChooseFolder(kTitle, L"MyPictures");
        EXPECT_EQ(InitialPathOf(*pBrowser), HomePath("Pictures"));
    }
}

// Runs pAction on the first modal widget once it shows; a watchdog closes
// any modal widget still open after 10 s, so a broken test fails, not hangs.
class ModalDriver {
public:
    explicit ModalDriver(std::function<void(QWidget*)> action) : m_action(std::move(action))
    {
        QObject::connect(&m_poll, &QTimer::timeout, [this] {
            if (QWidget* pModal = QApplication::activeModalWidget()) {
                m_poll.stop();
                m_bRan = true;
                m_action(pModal);
            }
        });
        m_poll.start(10);
        QObject::connect(&m_watchdog, &QTimer::timeout, [] {
            if (QWidget* pModal = QApplication::activeModalWidget()) {
                pModal->close();
            }
        });
        m_watchdog.setSingleShot(true);
        m_watchdog.start(10000);
    }

    bool Ran() const { return m_bRan; }

private:
    std::function<void(QWidget*)> m_action;
    QTimer m_poll;
    QTimer m_watchdog;
    bool m_bRan = false;
};

TEST_F(DestinationFolderChooserTest, QtBrowserTakesATypedFolder)
{
    QWidget owner;
    dialogs::QtFolderBrowser browser(&owner);
    QString strOpenedAt;
    QString strTitle;
    ModalDriver driver([&](QWidget* pModal) {
        auto* pDialog = qobject_cast<QFileDialog*>(pModal);
        ASSERT_NE(pDialog, nullptr);
        strTitle = pDialog->windowTitle();
        strOpenedAt = pDialog->directory().absolutePath();
        auto* pEdit = pDialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(pEdit, nullptr);
        pEdit->setText(QString::fromStdWString(HomePath("Other")));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(pEdit, &press);
    });
    const ItemIdBytes answer = browser.Browse(kTitle, ItemIdList::FromPath(HomePath("Downloads")));
    ASSERT_TRUE(driver.Ran());
    EXPECT_EQ(strTitle.toStdWString(), kTitle);
    EXPECT_EQ(strOpenedAt.toStdWString(), HomePath("Downloads"));
    EXPECT_EQ(ItemIdList::ToPath(answer), HomePath("Other"));
}

TEST_F(DestinationFolderChooserTest, QtBrowserCancelledOrOpenedAtAVirtualFolder)
{
    dialogs::QtFolderBrowser browser(nullptr);
    ModalDriver driver(
        [](QWidget* pModal) { QMetaObject::invokeMethod(pModal, "reject", Qt::QueuedConnection); });
    EXPECT_TRUE(browser.Browse(kTitle, ItemIdList::FromVirtualFolder(L"BitBucket")).empty());
    EXPECT_TRUE(driver.Ran());
}

}  // namespace
}  // namespace pullbay::control
