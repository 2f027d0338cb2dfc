#pragma once
// Reads the simulated device's console lines straight from a port's receive buffer, for benchmarks
// that drive the upload without the console reader. Any thread but the port watcher's.

#include <string_view>

class ReceiveBuffer;

// Takes lines from `buffer` until one holds `keyword`; false when the line ended first.
bool AwaitLine(ReceiveBuffer& buffer, std::string_view keyword);
