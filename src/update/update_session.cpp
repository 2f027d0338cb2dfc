#include "update/update_session.h"

#include "serial/receive_buffer.h"

void UpdateSession::RequestStop() {
    flags.stop.store(1);
    if (buffer) buffer->WakeConsumer();
}

void UpdateSession::EndAsFailed() {
    flags.result.store(0);
    RequestStop();
}
