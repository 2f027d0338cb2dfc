#pragma once
// The console reader: a worker thread that turns the device's bytes into lines in the log and acts
// on the device's keywords.
//
// It takes bytes from the session's receive buffer, drops NUL, CR and bytes from 0x80 up, and on LF
// appends the line and "\r\n" to the log (one synchronous send to the UI thread), then applies the
// first matching keyword: a data request posts WM_DEVICE_DATAWAIT; an end keyword sets the stop
// flag, a failure keyword clears the result flag too. When the line hangs up, it ends the run as
// failed once every complete line received before has been shown. Every line the log shows goes to
// the session's update record too, from this thread. On leaving it posts WM_UPDATE_END
// once. It waits on the buffer while it is empty; a stop from outside comes through RequestStop.

#include <string>
#include <string_view>

#include "update/update_session.h"

// Thread entry. Returns 0.
unsigned ConsoleReaderProc(UpdateSession& session);

// Appends one complete line to the log and applies its keyword. Exposed for tests.
void HandleConsoleLine(UpdateSession& session, std::string_view line);
