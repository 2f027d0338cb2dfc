#pragma once
// Keeps the UI thread's windows alive while a long operation runs on it. UI thread.

namespace fw {

// Handles every message that is waiting for this thread - posted messages, sends from other
// threads, input (which the windows' own keyboard handling takes first) - and returns without
// waiting.
void PumpMessages();

}  // namespace fw
