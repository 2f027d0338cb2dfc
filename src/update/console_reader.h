#pragma once
// The console reader: a worker thread that turns the device's bytes into lines and acts on the
// device's keywords.
//
// It takes bytes from the session's receive buffer, drops NUL, CR and bytes from 0x80 up, and on LF
// shows the line through the sink, then applies the first matching keyword: a data request is
// reported to the sink; an end keyword sets the stop flag, a failure keyword clears the result flag
// too, and the session notes which keyword ended the run unless something ended it before. When the
// line hangs up, it ends the run as failed once every complete line received before has been shown.
// On leaving it reports the end once. It waits on the buffer while it is empty; a stop from outside
// comes through UpdateSession::RequestStop.

#include <string_view>

#include "update/console_sink.h"
#include "update/update_session.h"

// Thread entry: reads until the stop flag is set, then calls sink.RunEnded(). Returns 0.
unsigned ConsoleReaderProc(UpdateSession& session, ConsoleSink& sink);
