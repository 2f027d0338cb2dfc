// The port watcher: the thread that OpenPort starts. It waits until the port has received bytes,
// reads them in reads of at most RX_CHUNK bytes, and appends them to the ReceiveBuffer, making room
// before every read. It runs while CommState::connected is set; ClosePort clears the flag and wakes
// it (SerialDevice::Wake and ReceiveBuffer::WakeProducer), and it then ends within one wait.
//
// When the device goes away it does not retry: it clears its handle and id, marks the buffer's
// input as ended (so that the console reader learns of it) and ends, leaving the port for its owner
// to close.
#pragma once

#include "serial/comm_state.h"
#include "serial/receive_buffer.h"

struct ReadOutcome {
    int count = 0;      // bytes read; 0 when nothing was waiting or the read failed
    bool gone = false;  // the device went away
};

// Reads what is waiting on the port, at most `maximum` bytes, without waiting.
ReadOutcome ReadBlock(SerialDevice& port, unsigned char* destination, int maximum);

// Thread entry. Returns 1 when it ends.
int PortWatcherProc(CommState& state, ReceiveBuffer& buffer);
