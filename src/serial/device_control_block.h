// DeviceControlBlock: a serial line's settings, field for field and bit for bit as the Win32 DCB
// lays them out (port.BaudRate = ..., port.fRtsControl = ...), so that the record can go to a
// Windows port as it is. Plain data; which fields a port applies is up to the device backend
// (serial_device.h).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint8_t NOPARITY = 0;
inline constexpr uint8_t ODDPARITY = 1;
inline constexpr uint8_t EVENPARITY = 2;
inline constexpr uint8_t MARKPARITY = 3;
inline constexpr uint8_t SPACEPARITY = 4;

inline constexpr uint8_t ONESTOPBIT = 0;
inline constexpr uint8_t ONE5STOPBITS = 1;
inline constexpr uint8_t TWOSTOPBITS = 2;

inline constexpr uint32_t DTR_CONTROL_DISABLE = 0;
inline constexpr uint32_t DTR_CONTROL_ENABLE = 1;
inline constexpr uint32_t DTR_CONTROL_HANDSHAKE = 2;
inline constexpr uint32_t RTS_CONTROL_DISABLE = 0;
inline constexpr uint32_t RTS_CONTROL_ENABLE = 1;
inline constexpr uint32_t RTS_CONTROL_HANDSHAKE = 2;
inline constexpr uint32_t RTS_CONTROL_TOGGLE = 3;

struct DeviceControlBlock {
    uint32_t DCBlength = 0;
    uint32_t BaudRate = 0;
    // The flag word: bit 0 first.
    uint32_t fBinary : 1 = 0;
    uint32_t fParity : 1 = 0;
    uint32_t fOutxCtsFlow : 1 = 0;
    uint32_t fOutxDsrFlow : 1 = 0;
    uint32_t fDtrControl : 2 = 0;
    uint32_t fDsrSensitivity : 1 = 0;
    uint32_t fTXContinueOnXoff : 1 = 0;
    uint32_t fOutX : 1 = 0;
    uint32_t fInX : 1 = 0;
    uint32_t fErrorChar : 1 = 0;
    uint32_t fNull : 1 = 0;
    uint32_t fRtsControl : 2 = 0;
    uint32_t fAbortOnError : 1 = 0;
    uint32_t fDummy2 : 17 = 0;
    uint16_t wReserved = 0;
    uint16_t XonLim = 0;
    uint16_t XoffLim = 0;
    uint8_t ByteSize = 0;
    uint8_t Parity = 0;
    uint8_t StopBits = 0;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    uint16_t wReserved1 = 0;
};

static_assert(sizeof(DeviceControlBlock) == 28, "same size as the Win32 DCB");
static_assert(offsetof(DeviceControlBlock, wReserved) == 12);
static_assert(offsetof(DeviceControlBlock, ByteSize) == 18);
static_assert(offsetof(DeviceControlBlock, XonChar) == 21);
static_assert(offsetof(DeviceControlBlock, wReserved1) == 26);
