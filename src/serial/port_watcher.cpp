#include "serial/port_watcher.h"

ReadOutcome ReadBlock(SerialDevice& port, unsigned char* destination, int maximum) {
    const DeviceStatus status = port.Read(destination, maximum);
    if (status.ok()) return {static_cast<int>(status.count), false};
    if (status.fault == DeviceFault::kWouldBlock) return {0, false};
    // Any other failure after "readable" would come back at once on the next wait and spin the
    // watcher: the device counts as gone.
    return {0, true};
}

namespace {

enum class DrainEnd { kEmpty, kNoRoom, kGone };

// Moves what the port holds into the buffer until the port has nothing more.
DrainEnd Drain(CommState& state, ReceiveBuffer& buffer) {
    unsigned char scratch[RX_CHUNK];
    for (;;) {
        const ReadOutcome read = ReadBlock(*state.port, scratch, RX_CHUNK);
        if (read.gone) return DrainEnd::kGone;
        if (read.count == 0) return DrainEnd::kEmpty;
        buffer.Append(scratch, read.count);
        if (!buffer.MakeRoom(state.connected)) return DrainEnd::kNoRoom;
    }
}

}  // namespace

int PortWatcherProc(CommState& state, ReceiveBuffer& buffer) {
    bool hungUp = false;
    while (state.connected.load() != 0) {
        if (!buffer.MakeRoom(state.connected)) break;
        const WaitResult woke = state.port->WaitReadable();
        if (woke == WaitResult::kWoken) continue;
        // After a hang-up, still take what the port kept, then stop: waiting again would spin.
        const DrainEnd drained = Drain(state, buffer);
        if (woke == WaitResult::kHungUp || drained == DrainEnd::kGone) {
            hungUp = true;
            break;
        }
        if (drained == DrainEnd::kNoRoom) break;
    }
    state.watcherHandle.store({});
    state.watcherId.store({});
    // Last, so that whoever learns of the hang-up from the buffer finds everything above done.
    if (hungUp) buffer.MarkInputEnded();
    return 1;
}
