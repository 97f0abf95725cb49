// Entry point of every test executable: the error registry is initialised for
// the whole run (and, for the Qt suites, a QApplication on the main thread), and HOME,
// XDG_CONFIG_HOME and TMPDIR point at a folder of the run's own, so no test touches the real user's
// files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/ExceptionManager.h"

#ifdef PULLBAY_TEST_WITH_QT
#include <QApplication>
#endif

namespace {

std::filesystem::path MakeSandbox()
{
    const char* strBase = std::getenv("TMPDIR");
    std::string pattern =
        std::string(strBase != nullptr && *strBase ? strBase : "/tmp") + "/pullbay-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return pattern;
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::filesystem::path sandbox = MakeSandbox();
    for (const char* strFolder : {"home", "config", "tmp"}) {
        std::filesystem::create_directories(sandbox / strFolder);
    }
    ::setenv("HOME", (sandbox / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (sandbox / "config").c_str(), 1);
    ::setenv("TMPDIR", (sandbox / "tmp").c_str(), 1);

    pullbay::core::ExceptionManagerScope registry;
#ifdef PULLBAY_TEST_WITH_QT
    // The main thread is the GUI thread; widgets draw offscreen and dialogs
    // are Qt's own (a native dialog would hang a test).
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication application(argc, argv);
#endif
    const int intResult = RUN_ALL_TESTS();

    std::error_code ignored;
    std::filesystem::remove_all(sandbox, ignored);
    return intResult;
}
