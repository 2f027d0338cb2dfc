#include "update/update_session.h"

#include "serial/receive_buffer.h"

bool UpdateSession::NoteEnd(EndCause cause) {
    EndCause none = EndCause::kNone;
    return endCause.compare_exchange_strong(none, cause);
}

void UpdateSession::RequestStop() {
    flags.stop.store(1);
    if (buffer) buffer->WakeConsumer();
}

void UpdateSession::EndAsFailed(EndCause cause) {
    // A run the device has already ended keeps the device's word.
    if (NoteEnd(cause)) flags.result.store(0);
    RequestStop();
}
