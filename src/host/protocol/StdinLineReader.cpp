#include "host/protocol/StdinLineReader.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace pullbay::host {

StdinLineReader::StdinLineReader(OnLine onLine, OnEnd onEnd, int fdInput)
    : m_fdInput(fdInput),
      m_reader([onLine = std::move(onLine), onEnd = std::move(onEnd)](Entry entry) {
          if (entry.bEnd) {
              onEnd();
          } else {
              onLine(std::move(entry.strLine), entry.bOverlong);
          }
      })
{
}

void StdinLineReader::Start()
{
    m_reader.Start([fd = m_fdInput](const bridge::ThreadedReader<Entry>::Hand& hand) {
        std::string strLine;
        bool bOverlong = false;
        char buffer[65536];
        for (;;) {
            const ssize_t intRead = ::read(fd, buffer, sizeof buffer);
            if (intRead < 0 && errno == EINTR) {
                continue;
            }
            if (intRead <= 0) {
                break;
            }
            for (ssize_t i = 0; i < intRead; ++i) {
                const char ch = buffer[i];
                if (ch != '\n') {
                    if (strLine.size() < kMaxLineBytes) {
                        strLine += ch;
                    } else {
                        bOverlong = true;
                    }
                    continue;
                }
                if (!strLine.empty() && strLine.back() == '\r') {
                    strLine.pop_back();
                }
                if (bOverlong) {
                    strLine.clear();
                }
                hand({std::move(strLine), bOverlong, false});
                strLine.clear();
                bOverlong = false;
            }
        }
        if (!strLine.empty() || bOverlong) {
            if (bOverlong) {
                strLine.clear();
            }
            hand({std::move(strLine), bOverlong, false});
        }
        hand({{}, false, true});
    });
}

}  // namespace pullbay::host
