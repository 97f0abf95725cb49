#include "host/ServeSession.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include "host/JsonLineWriter.h"

namespace pullbay::host {

ServeSession::ServeSession(com::ComPtr<com::IDispatch> pControl,
                           std::shared_ptr<ClientPresenter> pPresenter)
    : m_dispatcher(std::move(pControl)), m_pPresenter(std::move(pPresenter))
{
}

void ServeSession::Start()
{
    m_pReader = std::make_unique<StdinLineReader>(
        [this](std::string strLine, bool bOverlong) {
            Enqueue({std::move(strLine), bOverlong});
        },
        [this] {
            Enqueue({std::nullopt, false});
        });
    m_pReader->Start();
}

void ServeSession::SetReady()
{
    if (!m_bReady) {
        m_bReady = true;
        // Not from inside the event that announced it.
        QTimer::singleShot(0, [this] { Pump(); });
    }
}

int ServeSession::Exec()
{
    QCoreApplication::exec();
    return 0;
}

void ServeSession::Enqueue(Input input)
{
    m_queue.push_back(std::move(input));
    Pump();
}

void ServeSession::Pump()
{
    // Re-entered from nested event loops (a download, a dialog): each entry
    // takes the next input, so the order of arrival is kept.
    while (m_bReady && !m_queue.empty()) {
        Input input = std::move(m_queue.front());
        m_queue.pop_front();
        if (input.strLine) {
            HandleLine(*input.strLine, input.bOverlong);
        } else {
            HandleEnd();
        }
    }
}

void ServeSession::HandleLine(const std::string& strLine, bool bOverlong)
{
    if (m_bEnded) {
        return;
    }
    if (strLine.find_first_not_of(" \t") == std::string::npos && !bOverlong) {
        return;  // blank lines are tolerated
    }
    QJsonParseError error{};
    const QJsonDocument document =
        bOverlong ? QJsonDocument()
                  : QJsonDocument::fromJson(QByteArray::fromStdString(strLine), &error);
    if (!document.isObject()) {
        const std::string strWhy = bOverlong ? "the line is too long"
                                   : error.error != QJsonParseError::NoError
                                       ? "not JSON: " + error.errorString().toStdString()
                                       : "a line must be one JSON object";
        JsonLineWriter::Write(RequestDispatcher::InvalidRequestReply("null", strWhy));
        return;
    }
    const QJsonObject request = document.object();
    if (request.contains("answer")) {
        m_pPresenter->Answer(request);
        return;
    }
    if (!RequestDispatcher::IsRequest(request)) {
        JsonLineWriter::Write(RequestDispatcher::InvalidRequestReply(
            RequestDispatcher::IdJson(request),
            "a line is a request (get, put, call) or an answer"));
        return;
    }
    ++m_intCallDepth;
    const std::string strReply = m_dispatcher.Handle(request);
    --m_intCallDepth;
    JsonLineWriter::Write(strReply);
    if (m_bEnded && m_intCallDepth == 0) {
        QCoreApplication::exit(0);
    }
}

void ServeSession::HandleEnd()
{
    m_bEnded = true;
    m_pPresenter->EndOfInput();
    if (m_intCallDepth > 0) {
        // A download is running: it skips the rest and its call returns.
        m_dispatcher.CallMethod(L"SkipAll");
        return;
    }
    QCoreApplication::exit(0);
}

}  // namespace pullbay::host
