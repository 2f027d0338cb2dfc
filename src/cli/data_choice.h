#pragma once
// The data file qelpupd-cli sends: the one given (--data), or the one the window program would
// take in the current folder. No output of its own; any thread.

#include <string>

struct DataChoice {
    std::string path;    // absolute, UTF-8; empty when there is none
    std::string reason;  // why there is none
    std::string note;    // for the operator (with its LF): which of several candidates was taken
};

DataChoice ChooseDataFileFor(const std::string& given);
