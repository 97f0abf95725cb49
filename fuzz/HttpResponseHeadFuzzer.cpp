// The response head as a server may send it, line by line as the transfer
// receives it: status lines (a new response after each, 1xx included),
// header lines, and the values the transfer reads from them
// (Content-Length, Content-Range, any header by name). Besides not
// crashing: a length is never negative, a range starts inside its total,
// and a status is a three-digit number or 0.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "FuzzCheck.h"
#include "net/HttpResponseHead.h"

namespace {

using pullbay::net::HttpResponseHead;

void CheckHead(const HttpResponseHead& head)
{
    if (const auto length = head.ContentLength()) {
        PB_FUZZ_CHECK(*length >= 0);
    }
    for (const char* pName : {"Content-Range", "content-range", "ETag", "Location"}) {
        const auto value = head.Header(pName);
        if (!value) {
            continue;
        }
        // Trimmed: no blank or line end around it.
        PB_FUZZ_CHECK(value->empty() || (value->front() != ' ' && value->back() != '\n' &&
                                         value->back() != '\r' && value->back() != ' '));
        if (const auto range = pullbay::net::ParseContentRange(*value)) {
            PB_FUZZ_CHECK(range->intFirst >= 0);
            PB_FUZZ_CHECK(range->intTotal == -1 || range->intTotal > range->intFirst);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uintSize)
{
    std::string_view rest(reinterpret_cast<const char*>(pData), uintSize);
    HttpResponseHead head;
    while (!rest.empty()) {
        const std::size_t uintEnd = rest.find('\n');
        const std::string_view line =
            rest.substr(0, uintEnd == std::string_view::npos ? rest.size() : uintEnd + 1);
        rest.remove_prefix(line.size());
        if (const int intStatus = pullbay::net::ParseStatusLine(line); intStatus != 0) {
            PB_FUZZ_CHECK(intStatus >= 100 && intStatus <= 999);
            CheckHead(head);
            head = HttpResponseHead{};
            head.intStatus = intStatus;
            continue;
        }
        if (head.intStatus != 0) {
            if (auto field = pullbay::net::ParseHeaderLine(line)) {
                PB_FUZZ_CHECK(field->first.find(':') == std::string::npos);
                head.headers.push_back(std::move(*field));
            }
        }
    }
    CheckHead(head);
    return 0;
}
