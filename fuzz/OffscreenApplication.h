#pragma once
// The Qt application that the fuzz targets driving the control need: made
// once, offscreen, from LLVMFuzzerInitialize (the control makes widgets and
// queues work on the application's thread). It lives until the process ends.
#include <QApplication>

#include <cstdlib>

namespace pullbay::fuzz {

inline void StartOffscreenApplication(const char* strName)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int intArgc = 1;
    static char* argv[] = {const_cast<char*>(strName), nullptr};
    new QApplication(intArgc, argv);
}

}  // namespace pullbay::fuzz
