#include "host/protocol/ProtocolSession.h"

#include <QTimer>

namespace pullbay::host {

ProtocolSession::ProtocolSession(com::ComPtr<com::IDispatch> pControl,
                                 std::shared_ptr<ClientPresenter> pPresenter, Output output,
                                 std::function<void()> onFinished)
    : m_dispatcher(std::move(pControl)),
      m_pPresenter(std::move(pPresenter)),
      m_output(std::move(output)),
      m_onFinished(std::move(onFinished))
{
}

void ProtocolSession::SetReady()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    if (!m_bReady) {
        m_bReady = true;
        // Not from inside the event that announced it.
        QTimer::singleShot(0, [this] { Pump(); });
    }
}

void ProtocolSession::Enqueue(QJsonObject message, std::string_view strText)
{
    std::string strIdJson = RequestDispatcher::IdJson(message, strText);
    Enqueue(Input{std::move(message), std::move(strIdJson), {}, false});
}

void ProtocolSession::EnqueueInvalid(std::string strWhy)
{
    Enqueue(Input{std::nullopt, {}, std::move(strWhy), false});
}

void ProtocolSession::EnqueueEnd()
{
    Enqueue(Input{std::nullopt, {}, {}, true});
}

void ProtocolSession::EndNow()
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_queue.clear();
    HandleEnd();
}

void ProtocolSession::Enqueue(Input input)
{
    PB_ASSERT_OWNER_THREAD(m_guiThread);
    m_queue.push_back(std::move(input));
    Pump();
}

void ProtocolSession::Pump()
{
    // Re-entered from nested event loops (a download, a dialog): each entry
    // takes the next input, so the order of arrival is kept.
    while (m_bReady && !m_queue.empty()) {
        Input input = std::move(m_queue.front());
        m_queue.pop_front();
        if (input.bEnd) {
            HandleEnd();
        } else if (m_bEnded) {
            continue;
        } else if (input.message) {
            Handle(*input.message, input.strIdJson);
        } else {
            m_output(RequestDispatcher::InvalidRequestReply("null", input.strInvalid));
        }
    }
}

void ProtocolSession::Handle(const QJsonObject& message, const std::string& strIdJson)
{
    if (message.contains("answer")) {
        if (m_pPresenter) {
            m_pPresenter->Answer(message);
        } else {
            m_output(RequestDispatcher::InvalidRequestReply(
                "null", "no dialog of this control is answered by the client"));
        }
        return;
    }
    if (!RequestDispatcher::IsRequest(message)) {
        m_output(RequestDispatcher::InvalidRequestReply(
            strIdJson, "a message is a request (get, put, call) or an answer"));
        return;
    }
    ++m_intCallDepth;
    const std::string strReply = m_dispatcher.Handle(message, strIdJson);
    --m_intCallDepth;
    m_output(strReply);
    if (m_bEnded && m_intCallDepth == 0) {
        Finish();
    }
}

void ProtocolSession::HandleEnd()
{
    if (m_bEnded) {
        return;
    }
    m_bEnded = true;
    if (m_pPresenter) {
        m_pPresenter->EndOfInput();
    }
    if (m_intCallDepth > 0) {
        // A download is running: it skips the rest and its call returns.
        m_dispatcher.CallMethod(L"SkipAll");
        return;
    }
    Finish();
}

void ProtocolSession::Finish()
{
    if (!m_bFinished) {
        m_bFinished = true;
        if (m_onFinished) {
            m_onFinished();
        }
    }
}

}  // namespace pullbay::host
