#include <string>

#include "app/start_folder.h"
#include "update/standard_streams.h"

bool EnterDocumentsFolder() {
    WriteAll(kStandardError, std::string("qelpupd: ") + kDocumentsOption +
                                 " is an option of the Windows program; staying in the current "
                                 "folder\n");
    return false;
}
