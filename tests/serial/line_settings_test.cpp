// The line settings without a device: the record's layout, their mapping onto termios, port names,
// and the words an open failure is explained with.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>

#include "serial/comm_port.h"
#include "serial/termios_settings.h"

namespace {

using Change = std::function<void(DeviceControlBlock&)>;

uint32_t FlagWord(const DeviceControlBlock& dcb) {
    uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&dcb) + 8, sizeof word);
    return word;
}

TEST(DeviceControlBlockTest, BitFieldsSitWhereTheWin32FlagWordHasThem) {
    const std::tuple<const char*, Change, uint32_t> cases[] = {
        {"fOutxCtsFlow", [](auto& d) { d.fOutxCtsFlow = 1; }, 1u << 2},
        {"fOutxDsrFlow", [](auto& d) { d.fOutxDsrFlow = 1; }, 1u << 3},
        {"fDtrControl", [](auto& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, 2u << 4},
        {"fOutX", [](auto& d) { d.fOutX = 1; }, 1u << 8},
        {"fInX", [](auto& d) { d.fInX = 1; }, 1u << 9},
        {"fRtsControl", [](auto& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, 2u << 12},
    };
    for (const auto& [name, set, word] : cases) {
        DeviceControlBlock dcb;
        set(dcb);
        EXPECT_EQ(FlagWord(dcb), word) << name;
    }
    EXPECT_EQ(FlagWord(CCommPort()), 0x202Cu)
        << "a new port: CTS/DSR output flow, DTR/RTS handshake";
}

// A terminal as it comes: cooked, echoing, 7E1 at 9600, hanging up on close, with an interrupt key.
termios CookedTerminal() {
    termios tio{};
    tio.c_iflag = ICRNL | IXON | BRKINT;
    tio.c_oflag = OPOST | ONLCR;
    tio.c_cflag = CS7 | PARENB | CREAD | HUPCL;
    tio.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    tio.c_cc[VINTR] = 3;
    cfsetspeed(&tio, B9600);
    return tio;
}

termios Applied(const Change& change = [](auto&) {}) {
    CCommPort settings;
    settings.BaudRate = UPDATE_BAUD;
    change(settings);
    termios tio = CookedTerminal();
    EXPECT_TRUE(ApplyLineSettings(settings, tio));
    return tio;
}

TEST(TermiosSettingsTest, UpdateSettingsGiveARaw8N1HardwareHandshakeLineAndKeepTheRest) {
    const termios tio = Applied();
    EXPECT_EQ(cfgetospeed(&tio), B19200);
    EXPECT_EQ(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD | CLOCAL),
              static_cast<tcflag_t>(CS8 | CRTSCTS | CREAD | CLOCAL));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL | BRKINT), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 1);  // so that an empty non-blocking read is EAGAIN, never 0
    EXPECT_EQ(tio.c_cc[VSTART], 0x11);
    EXPECT_EQ(tio.c_cc[VSTOP], 0x13);
    EXPECT_NE(tio.c_cflag & HUPCL, 0u);
    EXPECT_NE(tio.c_oflag & ONLCR, 0u);
    EXPECT_EQ(tio.c_cc[VINTR], 3);
}

TEST(TermiosSettingsTest, EachSettingReachesItsFlags) {
    constexpr tcflag_t kParity = PARENB | PARODD | CMSPAR;
    const std::tuple<const char*, Change, tcflag_t termios::*, tcflag_t, tcflag_t> cases[] = {
        {"odd", [](auto& d) { d.Parity = ODDPARITY; }, &termios::c_cflag, kParity, PARENB | PARODD},
        {"even", [](auto& d) { d.Parity = EVENPARITY; }, &termios::c_cflag, kParity, PARENB},
        {"mark", [](auto& d) { d.Parity = MARKPARITY; }, &termios::c_cflag, kParity, kParity},
        {"two stop bits", [](auto& d) { d.StopBits = TWOSTOPBITS; }, &termios::c_cflag, CSTOPB,
         CSTOPB},
        {"7 data bits", [](auto& d) { d.ByteSize = 7; }, &termios::c_cflag, CSIZE, CS7},
        {"no handshake",
         [](auto& d) {
             d.fOutxCtsFlow = 0;
             d.fRtsControl = RTS_CONTROL_ENABLE;
         },
         &termios::c_cflag, CRTSCTS, 0},
        {"XON/XOFF",
         [](auto& d) {
             d.fOutX = 1;
             d.fInX = 1;
         },
         &termios::c_iflag, IXON | IXOFF, IXON | IXOFF},
    };
    for (const auto& [name, change, flags, mask, expected] : cases) {
        EXPECT_EQ(Applied(change).*flags & mask, expected) << name;
    }
}

TEST(TermiosSettingsTest, SettingsWithoutATermiosEquivalentLeaveTheTerminalAlone) {
    const Change cases[] = {
        [](auto& d) { d.BaudRate = 12345; },
        [](auto& d) { d.ByteSize = 9; },
        [](auto& d) { d.StopBits = ONE5STOPBITS; },
        [](auto& d) { d.Parity = 7; },
    };
    for (const Change& change : cases) {
        CCommPort settings;
        change(settings);
        termios tio = CookedTerminal();
        const termios before = tio;
        EXPECT_FALSE(ApplyLineSettings(settings, tio));
        EXPECT_EQ(std::memcmp(&tio, &before, sizeof tio), 0);
    }
}

TEST(OpenErrorTest, PermissionDeniedNamesTheGroupThatOwnsTheDevice) {
    struct stat info {};
    ASSERT_EQ(stat("/dev/null", &info), 0);
    const std::string text = DescribeOpenError("/dev/null", "FTDI FT232R USB UART, serial A9XYZ",
                                               {0, DeviceFault::kPermissionDenied, "open", EACCES});
    EXPECT_NE(text.find("/dev/null (FTDI FT232R USB UART, serial A9XYZ): open failed (errno 13"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("permission denied; the device belongs to group \"" +
                        std::string(getgrgid(info.st_gid)->gr_name)),
              std::string::npos)
        << text;
}

}  // namespace
