#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pullbay::test {

// One request as the test server received it.
struct HttpRequest {
  std::string method;
  std::string target;  // path with query, exactly as sent
  std::vector<std::pair<std::string, std::string>> headers;  // in the order received
  int connectionIndex = 0;  // which accepted connection carried it (0-based)

  // Value of the first header called `name` (case-insensitive), if any.
  std::optional<std::string> Header(std::string_view name) const;
  // The target without its query string.
  std::string Path() const;
};

// Case-insensitive ASCII comparison, as HTTP header names need.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace pullbay::test
