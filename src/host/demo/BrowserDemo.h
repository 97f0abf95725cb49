#pragma once
// "pullbay demo --browser": the demo server, and Chromium on a display with
// the extension loaded in a profile of its own, showing the demo page whose
// button downloads the demo list. The bridge is installed into that profile
// only; the profile and the demo origin's remembered answer go when the
// browser closes. Main thread, which waits for the browser.
namespace pullbay::host {

class BrowserDemo {
public:
    // The exit code: 0 once the browser closed, 2 when it could not start.
    static int Run();
};

}  // namespace pullbay::host
