#include <cstring>

#include "update/system_error.h"

std::string SystemErrorText(int error) {
    return std::strerror(error);
}
