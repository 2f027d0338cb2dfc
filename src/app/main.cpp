#include <cstdio>
#include <cstring>

#include "app/update_app.h"
#include "res/resources.h"
#include "serial/port_discovery.h"
#include "serial/port_map.h"

namespace {
CUpdateApp theApp;

// `qelpupd --list-ports`: which device COM1 and COM2 denote now and every serial port found, for
// an operator at a terminal; needs no display.
int ListPorts() {
    const std::vector<SerialPortInfo> found = DiscoverSerialPorts();
    std::fputs(FormatPortListing(MapOfferedPorts(found), found).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--list-ports") == 0) return ListPorts();
    RegisterResources();
    return theApp.Run(argc, argv);
}
