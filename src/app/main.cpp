#include <cstring>

#include "app/start_folder.h"
#include "app/update_app.h"
#include "res/resources.h"
#include "serial/port_map.h"
#include "update/standard_streams.h"

namespace {
CUpdateApp theApp;
}  // namespace

int main(int argc, char** argv) {
    // `qelpupd --list-ports`: which device COM1 and COM2 denote now and every serial port found,
    // for an operator at a terminal; needs no display.
    if (argc == 2 && std::strcmp(argv[1], "--list-ports") == 0)
        return WriteAll(kStandardOutput, ListSystemPorts()) ? 0 : 1;
    if (argc == 2 && std::strcmp(argv[1], kDocumentsOption) == 0) EnterDocumentsFolder();
    RegisterResources();
    return theApp.Run(argc, argv);
}
