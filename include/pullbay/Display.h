#pragma once
// The one rule for "a display is present", shared by the module and its
// hosts: the Qt platform in use is neither offscreen nor minimal. Real
// dialogs are shown only then (the test suite runs offscreen and so never
// opens one by accident). GUI thread, once the Qt application exists.
#include <QGuiApplication>
#include <QLatin1String>
#include <QString>

namespace pullbay::api {

inline bool DisplayPresent()
{
    if (QGuiApplication::instance() == nullptr) {
        return false;
    }
    const QString strPlatform = QGuiApplication::platformName();
    return strPlatform != QLatin1String("offscreen") && strPlatform != QLatin1String("minimal");
}

}  // namespace pullbay::api
