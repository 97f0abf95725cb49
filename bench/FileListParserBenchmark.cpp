// A file list of 100,000 lines parsed as the retrieval does (4096-byte
// chunks, the way the transfer delivers them) and loaded into the control's
// list as the consumer does. Prints lines per second; the whole list should
// take well under a second.
//
//   build/bench/bench_file_list_parser [line-count]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/ExceptionManager.h"
#include "engine/FileListParser.h"
#include "model/FileList.h"

namespace {

using namespace pullbay;

constexpr std::size_t kChunkBytes = 4096;

// Relative, root-relative and absolute URLs, a few non-ASCII names and CRLF
// line ends: the lines a real list carries.
std::string MakeList(long intLines)
{
    std::string strList = "\xEF\xBB\xBF";
    for (long intLine = 0; intLine < intLines; ++intLine) {
        const std::string strNumber = std::to_string(intLine);
        switch (intLine % 4) {
        case 0:
            strList += "image/jpeg|" + strNumber + "|photos/2024/img" + strNumber + ".jpg|img" +
                       strNumber + ".jpg\r\n";
            break;
        case 1:
            strList += "application/pdf | " + strNumber + " | /docs/report " + strNumber +
                       ".pdf | Berichte/B\xC3\xBC"
                       "cher " +
                       strNumber + ".pdf\n";
            break;
        case 2:
            strList += "*/*|" + strNumber + "|https://cdn.example.org/files/f" + strNumber +
                       ".bin|f" + strNumber + ".bin\n";
            break;
        default:
            strList += "text/plain||broken" + strNumber + ".txt|broken.txt\n";
            break;
        }
    }
    return strList;
}

struct Outcome {
    double dblSeconds = 0;
    std::size_t uintItems = 0;
    std::size_t uintErrors = 0;
};

void Load(model::FileList& list, const engine::FileListBatch& batch, Outcome& outcome)
{
    for (const auto& entry : batch.entries) {
        if (entry.IsItem() && list.Add(entry.pItem)) {
            ++outcome.uintItems;
        } else {
            ++outcome.uintErrors;
        }
    }
}

Outcome Run(const std::string& strList)
{
    Outcome outcome;
    model::FileList list;
    const auto start = std::chrono::steady_clock::now();
    engine::FileListParser parser(L"http://files.example.com/lists/all.txt");
    for (std::size_t uintFrom = 0; uintFrom < strList.size(); uintFrom += kChunkBytes) {
        const std::size_t uintSize = std::min(kChunkBytes, strList.size() - uintFrom);
        Load(list, parser.Consume(strList.data() + uintFrom, uintSize), outcome);
    }
    Load(list, parser.Finish(), outcome);
    outcome.dblSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return outcome;
}

}  // namespace

int main(int argc, char** argv)
{
    core::ExceptionManagerScope registry;
    const long intLines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 100000;
    const std::string strList = MakeList(intLines);

    Outcome best;
    for (int intRound = 0; intRound < 3; ++intRound) {
        const Outcome outcome = Run(strList);
        if (intRound == 0 || outcome.dblSeconds < best.dblSeconds) {
            best = outcome;
        }
    }
    // Plain integers only: the numbers must not depend on the locale.
    std::printf("file list parser: %ld lines (%zu bytes), %zu items, %zu line errors\n", intLines,
                strList.size(), best.uintItems, best.uintErrors);
    std::printf("best of 3: %ld ms, %ld lines/s\n", static_cast<long>(best.dblSeconds * 1000.0),
                static_cast<long>(static_cast<double>(intLines) / best.dblSeconds));
    return best.uintItems + best.uintErrors == static_cast<std::size_t>(intLines) ? 0 : 1;
}
