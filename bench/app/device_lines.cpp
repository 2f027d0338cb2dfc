#include "device_lines.h"

#include <atomic>
#include <string>

#include "serial/receive_buffer.h"
#include "update/update_record.h"

bool AwaitLine(ReceiveBuffer& buffer, std::string_view keyword, UpdateRecord* record) {
    const std::atomic<int> stop{0};
    std::string line;
    while (buffer.WaitForData(stop)) {
        for (int byte; (byte = buffer.GetByte()) >= 0;) {
            if (byte != '\n') {
                line.push_back(static_cast<char>(byte));
                continue;
            }
            if (record) record->ConsoleLine(line);
            if (line.find(keyword) != std::string::npos) return true;
            line.clear();
        }
    }
    return false;
}
