#pragma once
// A failure of OpenSSL in the test support: the step that failed, followed
// by the reasons OpenSSL queued for the thread (the queue is emptied).
#include <stdexcept>
#include <string>

namespace pullbay::test {

class OpenSslError : public std::runtime_error {
public:
    explicit OpenSslError(const std::string& strWhat);
};

}  // namespace pullbay::test
