#include "host/protocol/JsonLineWriter.h"

#include <cstdio>
#include <mutex>

namespace pullbay::host {

void JsonLineWriter::Write(std::string_view strLine)
{
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    std::fwrite(strLine.data(), 1, strLine.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace pullbay::host
