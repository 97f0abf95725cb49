#include "net/MultiDriver.h"

#include <algorithm>
#include <utility>

#include "core/Exceptions.h"
#include "core/ThrowSite.h"

namespace pullbay::net {

MultiDriver::MultiDriver(CURLM* pMulti) : m_pMulti(pMulti)
{
}

MultiDriver::~MultiDriver()
{
    for (const Entry& entry : m_entries) {
        curl_multi_remove_handle(m_pMulti, entry.pExchange->Easy());
    }
}

void MultiDriver::Attach(HttpExchange& exchange, Completion done)
{
    if (curl_multi_add_handle(m_pMulti, exchange.Easy()) != CURLM_OK) {
        PB_THROW(core::UnexpectedException, L"curl_multi_add_handle error");
    }
    m_entries.push_back({&exchange, std::move(done)});
}

void MultiDriver::End(std::size_t uintIndex, HttpExchangeResult result, std::vector<Ended>& ended)
{
    Entry entry = std::move(m_entries[uintIndex]);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(uintIndex));
    curl_multi_remove_handle(m_pMulti, entry.pExchange->Easy());
    HttpExchangeResult finished = entry.pExchange->Finish(result);
    ended.push_back({std::move(entry), finished});
}

void MultiDriver::Step(std::chrono::milliseconds maxWait)
{
    std::vector<Ended> ended;
    int intRunning = 0;
    if (curl_multi_perform(m_pMulti, &intRunning) != CURLM_OK) {
        // The multi handle itself failed: every exchange ends with it.
        HttpExchangeResult failed;
        failed.end = HttpExchangeResult::End::TransportFailure;
        failed.code = CURLE_OUT_OF_MEMORY;
        while (!m_entries.empty()) {
            End(0, failed, ended);
        }
    }
    int intQueued = 0;
    while (CURLMsg* pMessage = curl_multi_info_read(m_pMulti, &intQueued)) {
        if (pMessage->msg != CURLMSG_DONE) {
            continue;
        }
        const auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) {
            return entry.pExchange->Easy() == pMessage->easy_handle;
        });
        if (it != m_entries.end()) {
            const CURLcode code = pMessage->data.result;
            const auto uintIndex = static_cast<std::size_t>(it - m_entries.begin());
            End(uintIndex, m_entries[uintIndex].pExchange->Done(code), ended);
        }
    }
    auto wait = maxWait;
    for (std::size_t i = 0; i < m_entries.size();) {
        if (const auto end = m_entries[i].pExchange->Check(wait)) {
            HttpExchangeResult result;
            result.end = *end;
            End(i, result, ended);
        } else {
            ++i;
        }
    }
    // Completions run last: they may attach exchanges again.
    for (Ended& item : ended) {
        item.entry.done(*item.entry.pExchange, item.result);
    }
    // With nothing attached this still waits: a transfer in its pause before
    // a further attempt is woken by the time-out.
    if (ended.empty()) {
        curl_multi_poll(m_pMulti, nullptr, 0, static_cast<int>(wait.count()), nullptr);
    }
}

}  // namespace pullbay::net
