#include "serial/win32_errors.h"

#include "serial/win32_api.h"

DeviceFault OpenFault(unsigned long error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:  // the driver's answer to a second open
        case ERROR_SHARING_VIOLATION:
        case ERROR_ALREADY_EXISTS:  // another QelpUpd has claimed the port (win32_device.cpp)
            return DeviceFault::kBusy;
        case ERROR_PRIVILEGE_NOT_HELD:
            return DeviceFault::kPermissionDenied;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_PATHNAME:
        case ERROR_INVALID_NAME:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_NOT_READY:
            return DeviceFault::kNoSuchDevice;
        default:
            return DeviceFault::kOther;
    }
}

DeviceFault IoFault(unsigned long error) {
    switch (error) {
        case ERROR_BROKEN_PIPE:        // hang-up: Wine's pseudo-terminal master closed
        case ERROR_NOT_READY:          // a write after such a hang-up
        case ERROR_OPERATION_ABORTED:  // the port was closed under the call
        case ERROR_INVALID_HANDLE:     // ... or its handle is gone
        // What USB serial drivers answer once their adapter was pulled:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_SEM_TIMEOUT:
            return DeviceFault::kGone;
        default:
            return DeviceFault::kOther;
    }
}

std::string SystemMessage(unsigned long error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    return text.empty() ? "unknown error" : Utf8FromWide(text);
}

std::string DescribeOpenError(const std::string& path, const std::string& description,
                              const DeviceStatus& status) {
    std::string text = path;
    if (!description.empty()) text += " (" + description + ")";
    text += std::string(": ") + status.call + " failed";
    if (status.error != 0) {
        const auto error = static_cast<unsigned long>(status.error);
        text += " (error " + std::to_string(error) + ", " + SystemMessage(error) + ")";
    }
    switch (status.fault) {
        case DeviceFault::kBusy:
            // Windows does not say who holds a port (Process Explorer can find the handle); only
            // our own claim names its holder.
            text += status.error == ERROR_ALREADY_EXISTS
                        ? ": the port is busy, another QelpUpd holds it"
                        : ": the port is busy, another program holds it";
            break;
        case DeviceFault::kPermissionDenied:
            text += ": permission denied";
            break;
        case DeviceFault::kNoSuchDevice:
            text += ": no such device";
            break;
        case DeviceFault::kGone:
            text += ": the device went away";
            break;
        case DeviceFault::kNone:
        case DeviceFault::kWouldBlock:
        case DeviceFault::kStuck:
        case DeviceFault::kOther:
            break;
    }
    return text;
}
