#include "serial/win32_comm_settings.h"

bool ApplyLineSettings(const DeviceControlBlock& settings, DCB& dcb) {
    if (settings.BaudRate == 0 || settings.ByteSize < 5 || settings.ByteSize > 8 ||
        settings.Parity > SPACEPARITY || settings.StopBits > TWOSTOPBITS) {
        return false;
    }
    dcb.BaudRate = settings.BaudRate;
    dcb.ByteSize = settings.ByteSize;
    dcb.Parity = settings.Parity;
    dcb.StopBits = settings.StopBits;
    dcb.fOutxCtsFlow = settings.fOutxCtsFlow;
    dcb.fOutxDsrFlow = settings.fOutxDsrFlow;
    dcb.fDtrControl = settings.fDtrControl;
    dcb.fRtsControl = settings.fRtsControl;
    dcb.fOutX = settings.fOutX;
    dcb.fInX = settings.fInX;
    dcb.XonChar = settings.XonChar;
    dcb.XoffChar = settings.XoffChar;
    dcb.XonLim = settings.XonLim;
    dcb.XoffLim = settings.XoffLim;

    // A raw line: Windows supports binary mode only; parity is checked when there is one; NUL
    // bytes (the data file has many) and bytes with parity errors are delivered as they came;
    // reception does not depend on DSR (a cable without it would lose every byte).
    dcb.fBinary = TRUE;
    dcb.fParity = settings.Parity != NOPARITY ? TRUE : FALSE;
    dcb.fNull = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fDsrSensitivity = FALSE;
    // A line error (a framing error, an overrun) would otherwise stop every read and write until
    // ClearCommError: the watcher would see its reads fail and take the port for gone.
    dcb.fAbortOnError = FALSE;
    return true;
}
