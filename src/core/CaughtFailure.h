#pragma once
// For a catch block that handles a failure for good but keeps a record of
// it: records the exception being handled for the calling thread, a core
// exception as itself and anything else as an UnexpectedException (the
// catch-all protocol). Call only while an exception is being handled.
namespace pullbay::core {

void RecordCaughtFailure();

}  // namespace pullbay::core
