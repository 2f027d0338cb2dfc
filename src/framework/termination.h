#pragma once
// Requests from outside to end the program: SIGTERM (kill, a shutdown), SIGHUP (the session or the
// terminal went away) and SIGINT (Ctrl+C in the terminal that started it).
//
// Until a handler is installed they end the process at once, as they always would. With one, the
// signal only writes its number to a pipe; the UI thread's event loop reads it and calls the
// handler there, in whichever loop runs (a modal box's, an upload's wait), so the handler may end
// the run in order. UI thread.

#include <functional>

namespace fw {

// `handler` gets the signal's name ("SIGTERM"). An empty handler gives the signals back their
// default action.
void OnTerminationRequest(std::function<void(const char* signal)> handler);

// Ends the process at once by the signal that was named, as it would have ended without a handler.
[[noreturn]] void EndByTerminationRequest(const char* signal);

}  // namespace fw
