#pragma once
// Environment variables set or removed for one scope and put back as they
// were when it ends (the test main points HOME, XDG_CONFIG_HOME and TMPDIR
// at the run's own folder; a test that changes them must not leave that
// change to the next test). The environment is the process's: only for a
// test's main thread while no other thread reads it.
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pullbay::test {

class EnvironmentScope {
public:
    EnvironmentScope() = default;
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;
    ~EnvironmentScope()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            if (it->second) {
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                ::unsetenv(it->first.c_str());
            }
        }
    }

    // strValue nullopt: the variable is removed.
    void Set(const std::string& strName, const std::optional<std::string>& strValue)
    {
        const char* strOld = std::getenv(strName.c_str());
        m_saved.emplace_back(strName,
                             strOld != nullptr ? std::optional<std::string>(strOld) : std::nullopt);
        if (strValue) {
            ::setenv(strName.c_str(), strValue->c_str(), 1);
        } else {
            ::unsetenv(strName.c_str());
        }
    }
    void Unset(const std::string& strName) { Set(strName, std::nullopt); }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

}  // namespace pullbay::test
