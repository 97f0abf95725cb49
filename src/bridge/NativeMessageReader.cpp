#include "bridge/NativeMessageReader.h"

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

#include "bridge/NativeMessageFraming.h"

namespace pullbay::bridge {

NativeMessageReader::NativeMessageReader(OnMessage onMessage, OnEnd onEnd, int fdInput)
    : m_fdInput(fdInput),
      m_reader([onMessage = std::move(onMessage), onEnd = std::move(onEnd)](Entry entry) {
          if (entry.end) {
              onEnd(*entry.end);
          } else {
              onMessage(std::move(entry.strMessage));
          }
      })
{
}

void NativeMessageReader::Start()
{
    m_reader.Start([fdInput = m_fdInput](const ThreadedReader<Entry>::Hand& hand) {
        NativeMessageDecoder decoder;
        char buffer[65536];
        End end = End::Closed;
        for (;;) {
            const ssize_t intRead = ::read(fdInput, buffer, sizeof buffer);
            if (intRead < 0 && errno == EINTR) {
                continue;
            }
            if (intRead <= 0) {
                end = decoder.HasPartial() ? End::Truncated : End::Closed;
                break;
            }
            decoder.Feed(std::string_view(buffer, static_cast<std::size_t>(intRead)));
            while (std::optional<std::string> strMessage = decoder.Next()) {
                hand({std::move(*strMessage), std::nullopt});
            }
            if (decoder.OverlongLength()) {
                end = End::Overlong;
                break;
            }
        }
        hand({std::string(), end});
    });
}

}  // namespace pullbay::bridge
