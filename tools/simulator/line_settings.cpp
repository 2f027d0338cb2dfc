#include "simulator/line_settings.h"

#include <array>
#include <utility>

namespace qelp::sim {
namespace {

constexpr std::array<std::pair<speed_t, unsigned>, 11> kSpeeds{{{B1200, 1200},
                                                                {B2400, 2400},
                                                                {B4800, 4800},
                                                                {B9600, 9600},
                                                                {B19200, 19200},
                                                                {B38400, 38400},
                                                                {B57600, 57600},
                                                                {B115200, 115200},
                                                                {B230400, 230400},
                                                                {B460800, 460800},
                                                                {B921600, 921600}}};

unsigned baudOf(speed_t speed) {
    for (const auto& [code, baud] : kSpeeds) {
        if (code == speed) return baud;
    }
    return 0;
}

unsigned dataBitsOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

}  // namespace

LineSettingsReport describeLineSettings(const termios& settings) {
    const unsigned baud = baudOf(cfgetospeed(&settings));
    const unsigned dataBits = dataBitsOf(settings.c_cflag);
    const char parity = (settings.c_cflag & PARENB) == 0   ? 'N'
                        : (settings.c_cflag & PARODD) != 0 ? 'O'
                                                           : 'E';
    const unsigned stopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;

    LineSettingsReport report;
    report.text = (baud != 0 ? std::to_string(baud) : std::string("unusual")) + " baud, " +
                  std::to_string(dataBits) + parity + std::to_string(stopBits);
    if ((settings.c_cflag & CRTSCTS) != 0) report.text += ", RTS/CTS";
    // XON/XOFF would swallow the data file's 0x11 and 0x13 bytes.
    const bool softwareFlow = (settings.c_iflag & (IXON | IXOFF)) != 0;
    if (softwareFlow) report.text += ", XON/XOFF";
    report.matchesDevice =
        baud == 19200 && dataBits == 8 && parity == 'N' && stopBits == 1 && !softwareFlow;
    return report;
}

}  // namespace qelp::sim
