#include "serial/win32_errors.h"
#include "update/system_error.h"

std::string SystemErrorText(int error) {
    return SystemMessage(static_cast<unsigned long>(error));
}
