#pragma once
// Drives a modal dialog from inside its own event loop, as a user would:
// `act` runs on the dialog once it is open. The timer belongs to the
// application, which deletes it at the latest when it goes. GUI thread.
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace pullbay::test {

inline void WhenModalOpens(std::function<void(QWidget*)> act)
{
    auto* pTimer = new QTimer(QApplication::instance());
    pTimer->setInterval(5);
    QObject::connect(pTimer, &QTimer::timeout, [pTimer, act = std::move(act)] {
        if (QWidget* pModal = QApplication::activeModalWidget()) {
            pTimer->stop();
            pTimer->deleteLater();
            act(pModal);
        }
    });
    pTimer->start();
}

}  // namespace pullbay::test
