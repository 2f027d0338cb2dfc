#pragma once
// What the update's threads share while the port is open.
//
// The thread that runs the upload (the UI thread in the window program) and the console reader read
// and write the flags; the port watcher fills the receive buffer that the reader drains. Whoever
// sets the stop flag from outside the reader calls RequestStop, so that a reader waiting on an
// empty buffer wakes at once. What ended the run is noted once, by whoever ended it first.

#include <atomic>

#include "update/keyword_table.h"
#include "update/run_verdict.h"

class ReceiveBuffer;

struct UpdateFlags {
    std::atomic<int> stop{0};    // nonzero: the console reader leaves its loop
    std::atomic<int> result{1};  // nonzero: the update counts as successful
};

struct UpdateSession {
    ReceiveBuffer* buffer = nullptr;  // the port's receive buffer; set before the reader starts
    UpdateFlags flags;
    // The first cause of the run's end; for the device's causes, the keyword that ended it, which
    // is stored before the cause.
    std::atomic<EndCause> endCause{EndCause::kNone};
    std::atomic<const KeywordRule*> endKeyword{nullptr};

    // Any thread: notes `cause` unless another came first. True when it was the first.
    bool NoteEnd(EndCause cause);
    // Any thread: sets the stop flag and wakes a reader that waits for bytes.
    void RequestStop();
    // Any thread: the run ends by `cause`, as failed unless another cause came first; the reader
    // leaves its loop and reports the end.
    void EndAsFailed(EndCause cause);
};
