#pragma once
// The program's arguments as UTF-8, without the program's name. The build picks the
// implementation: on Linux they are argv as given; on Windows they come from the UTF-16 command
// line, since argv is in the system's code page and loses what it cannot spell.

#include <string>
#include <vector>

std::vector<std::string> CommandLineArguments(int argc, char** argv);
