#include "host/protocol/ServeSession.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include "host/protocol/JsonLineWriter.h"

namespace pullbay::host {

ServeSession::ServeSession(com::ComPtr<com::IDispatch> pControl,
                           std::shared_ptr<ClientPresenter> pPresenter)
    : m_session(std::move(pControl), std::move(pPresenter), &JsonLineWriter::Write,
                [this] { QCoreApplication::exit(m_intExitCode); })
{
}

void ServeSession::Start()
{
    m_pReader = std::make_unique<StdinLineReader>(
        [this](std::string strLine, bool bOverlong) { HandleLine(strLine, bOverlong); },
        [this] { m_session.EnqueueEnd(); });
    m_pReader->Start();
}

void ServeSession::SetReady()
{
    m_session.SetReady();
}

void ServeSession::Interrupt(int intExitCode)
{
    m_intExitCode = intExitCode;
    m_session.EndNow();
}

int ServeSession::Exec()
{
    QCoreApplication::exec();
    return m_intExitCode;
}

void ServeSession::HandleLine(const std::string& strLine, bool bOverlong)
{
    if (strLine.find_first_not_of(" \t") == std::string::npos && !bOverlong) {
        return;  // blank lines are tolerated
    }
    if (bOverlong) {
        m_session.EnqueueInvalid("the line is too long");
        return;
    }
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(strLine), &error);
    if (!document.isObject()) {
        m_session.EnqueueInvalid(error.error != QJsonParseError::NoError
                                     ? "not JSON: " + error.errorString().toStdString()
                                     : "a line must be one JSON object");
        return;
    }
    m_session.Enqueue(document.object(), strLine);
}

}  // namespace pullbay::host
