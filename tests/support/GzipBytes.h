#pragma once
// The gzip form of a body, for responses sent with "Content-Encoding: gzip".
#include <string>
#include <string_view>

namespace pullbay::test {

std::string GzipBytes(std::string_view strBody);

}  // namespace pullbay::test
