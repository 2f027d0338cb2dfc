// What the serial layer makes of Win32 error codes: the answers of a pulled USB adapter's driver
// count as the device going away, a second open as busy.
#include "serial/win32_errors.h"

#include <gtest/gtest.h>

#include "serial/win32_api.h"

namespace {

TEST(Win32ErrorsTest, EachCodeMeansTheSameToAnOpenAndToTheIoAfterIt) {
    using enum DeviceFault;
    const struct {
        const char* name;
        DWORD error;
        DeviceFault open;
        DeviceFault io;
    } cases[] = {
        {"a second open", ERROR_ACCESS_DENIED, kBusy, kGone},
        {"another QelpUpd's claim", ERROR_ALREADY_EXISTS, kBusy, kOther},
        {"no such port", ERROR_FILE_NOT_FOUND, kNoSuchDevice, kGone},
        {"removed", ERROR_DEVICE_REMOVED, kNoSuchDevice, kGone},
        {"not connected", ERROR_DEVICE_NOT_CONNECTED, kNoSuchDevice, kGone},
        {"a driver's general failure", ERROR_GEN_FAILURE, kOther, kGone},
        {"a driver that no longer knows the request", ERROR_BAD_COMMAND, kOther, kGone},
        {"a driver's time-out after removal", ERROR_SEM_TIMEOUT, kOther, kGone},
        {"Wine's hang-up", ERROR_BROKEN_PIPE, kOther, kGone},
        {"a bad parameter", ERROR_INVALID_PARAMETER, kOther, kOther},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OpenFault(c.error), c.open) << c.name;
        EXPECT_EQ(IoFault(c.error), c.io) << c.name;
    }
}

}  // namespace
