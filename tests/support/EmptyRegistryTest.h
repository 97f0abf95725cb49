#pragma once
// A test fixture whose every test starts with an empty registry store in the
// private folder that the test main names in XDG_CONFIG_HOME, and with no
// failure recorded for the thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "core/ThrowSite.h"

namespace pullbay::test {

class EmptyRegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("XDG_CONFIG_HOME"), nullptr);
        m_configFolder = std::getenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(m_configFolder / "pullbay");
        core::ClearRecordedFailure();
    }

    void TearDown() override { core::ClearRecordedFailure(); }

    std::filesystem::path m_configFolder;
};

}  // namespace pullbay::test
