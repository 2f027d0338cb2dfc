#pragma once
// Requests from outside to end the program: SIGTERM (kill, a shutdown), SIGHUP (the session or the
// terminal went away) and SIGINT (Ctrl+C in the terminal that started it).
//
// Until a handler is installed they end the process at once, as they always would. With one, the
// signal only writes its number to a pipe; the UI thread's event loop reads it and calls the
// handler there, in whichever loop runs (a modal box's, an upload's wait), so the handler may end
// the run in order. UI thread.
//
// The end of the session on Windows is no signal but two messages to every top-level window: a
// query (WM_QUERYENDSESSION), which a SessionEndHold answers "wait" with its reason, and then the
// end itself (WM_ENDSESSION), after which the system may end the process as soon as the message
// returns. The session-end handler runs inside that message, so it finishes there what must not
// be lost. On Linux the session's end comes as SIGHUP or SIGTERM, to the termination handler.

#include <functional>
#include <string>

namespace fw {

// `handler` gets the signal's name ("SIGTERM"). An empty handler gives the signals back their
// default action.
void OnTerminationRequest(std::function<void(const char* signal)> handler);

// Ends the process at once by the signal that was named, as it would have ended without a handler.
[[noreturn]] void EndByTerminationRequest(const char* signal);

// Runs `handler` once as the session ends (Windows), inside the system's message; without one, the
// termination handler hears of it as "WM_ENDSESSION". An empty handler removes it.
void OnSessionEnd(std::function<void()> handler);

// While one lives, the end of the session is asked to wait and `reason` is shown to the user
// (Windows); nothing where the session's end is a signal. Holds may nest.
class SessionEndHold {
  public:
    explicit SessionEndHold(std::string reason);
    ~SessionEndHold();
    SessionEndHold(const SessionEndHold&) = delete;
    SessionEndHold& operator=(const SessionEndHold&) = delete;
};

}  // namespace fw
