#include "serial/termios_settings.h"

namespace {

// Sets or clears `bits` in `flags`.
void Set(tcflag_t& flags, tcflag_t bits, bool on) {
    flags = on ? (flags | bits) : (flags & ~bits);
}

}  // namespace

speed_t SpeedForBaudRate(uint32_t baudRate) {
    static constexpr struct {
        uint32_t baud;
        speed_t speed;
    } kSpeeds[] = {{1200, B1200},   {2400, B2400},     {4800, B4800},
                   {9600, B9600},   {19200, B19200},   {38400, B38400},
                   {57600, B57600}, {115200, B115200}, {230400, B230400}};
    for (const auto& entry : kSpeeds) {
        if (entry.baud == baudRate) return entry.speed;
    }
    return B0;
}

bool ApplyLineSettings(const DeviceControlBlock& settings, termios& tio) {
    // Indexed by ByteSize - 5 and by Parity (none, odd, even, mark, space).
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    static constexpr tcflag_t kParities[] = {0, PARENB | PARODD, PARENB, PARENB | CMSPAR | PARODD,
                                             PARENB | CMSPAR};
    const speed_t speed = SpeedForBaudRate(settings.BaudRate);
    // Linux has no 1.5 stop bits.
    if (speed == B0 || settings.ByteSize < 5 || settings.ByteSize > 8 || settings.Parity > 4 ||
        (settings.StopBits != ONESTOPBIT && settings.StopBits != TWOSTOPBITS)) {
        return false;
    }

    // Raw mode: bytes pass unchanged, no line editing, echo or signals.
    Set(tio.c_iflag, IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL, false);
    Set(tio.c_oflag, OPOST, false);
    Set(tio.c_lflag, ECHO | ECHONL | ICANON | ISIG | IEXTEN, false);
    // A read returns as soon as one byte is there; with O_NONBLOCK an empty read is then EAGAIN, so
    // that a read of 0 can only mean the line hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    // CLOCAL ignores carrier detect: the device does not drive DCD, and watching it would hang the
    // line up.
    Set(tio.c_cflag, CREAD | CLOCAL, true);

    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    Set(tio.c_cflag, CSIZE | PARENB | PARODD | CMSPAR | CSTOPB, false);
    tio.c_cflag |= kSizes[settings.ByteSize - 5] | kParities[settings.Parity];
    Set(tio.c_cflag, CSTOPB, settings.StopBits == TWOSTOPBITS);

    // CRTSCTS covers both directions: output waits for CTS, and RTS drops while our input is full.
    // Linux has no output flow control on DSR and no DTR handshake (fOutxDsrFlow, fDtrControl); DTR
    // is raised and dropped explicitly instead.
    Set(tio.c_cflag, CRTSCTS,
        settings.fOutxCtsFlow != 0 || settings.fRtsControl == RTS_CONTROL_HANDSHAKE);
    Set(tio.c_iflag, IXON, settings.fOutX != 0);
    Set(tio.c_iflag, IXOFF, settings.fInX != 0);
    tio.c_cc[VSTART] = static_cast<cc_t>(settings.XonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(settings.XoffChar);
    // XonLim and XoffLim have no termios equivalent: the kernel picks its own thresholds.
    return true;
}
