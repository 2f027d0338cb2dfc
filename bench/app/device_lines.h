#pragma once
// Reads the simulated device's console lines straight from a port's receive buffer, for benchmarks
// that drive the upload without the console reader. Any thread but the port watcher's.

#include <string_view>

class ReceiveBuffer;
class UpdateRecord;

// Takes lines from `buffer` until one holds `keyword`; false when the line ended first. Each line
// taken, the one with the keyword included, goes to `record` when one is given.
bool AwaitLine(ReceiveBuffer& buffer, std::string_view keyword, UpdateRecord* record = nullptr);
