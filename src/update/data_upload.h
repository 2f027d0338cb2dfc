#pragma once
// The data upload: on the device's data request, the whole data file goes to the port in 200-byte
// blocks under a cancellable progress dialog. Runs on the UI thread, inside the main dialog's
// handler; the progress dialog's pumping keeps every window alive meanwhile, the log included.

#include <cstdint>
#include <string>

#include "update/update_record.h"
#include "update/update_session.h"

class CCommPort;
namespace fw {
class Window;
}

inline constexpr std::uint32_t BLOCK_SIZE = 200;

// What went out, for the update record. transfer is kNone when nothing was sent: the file could not
// be read, or the progress dialog could not be made.
struct UploadFigures {
    RecordedTransfer transfer = RecordedTransfer::kNone;
    std::uint64_t blocksSent = 0;
    std::uint64_t remainderSent = 0;
};

// Reads the file and sends it; failures are reported in message boxes. When the file cannot be
// opened the run ends as failed: the stop flag is set and the result flag cleared.
UploadFigures UploadDataFile(const std::string& path, CCommPort& port, UpdateSession& session,
                             fw::Window& owner);
