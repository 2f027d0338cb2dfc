#include "serial/output_hold.h"

OutputHold HoldOf(const ModemLines& lines) {
    return {lines.outputWaitsForCts && !lines.cts, lines.outputWaitsForDsr && !lines.dsr};
}

std::string DescribeHold(const OutputHold& hold) {
    if (hold.cts && hold.dsr) return "CTS and DSR low";
    if (hold.cts) return "CTS low";
    if (hold.dsr) return "DSR low";
    return {};
}

std::string HoldNote(const OutputHold& hold) {
    return "a block waits: the device holds the output back: " + DescribeHold(hold);
}

std::string HeldNote(const OutputHold& hold) {
    return "the device held the output back: " + DescribeHold(hold);
}
