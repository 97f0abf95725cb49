#pragma once
// Standard output as JSON lines: each line written whole and flushed, so a
// client reading line by line never sees half a line or waits for a buffer.
// Any thread (a lock keeps lines whole).
#include <string_view>

namespace pullbay::host {

class JsonLineWriter {
public:
    static void Write(std::string_view strLine);
};

}  // namespace pullbay::host
