// Running a shell command from a test and keeping what it printed.
#pragma once

#include <string>

struct CommandResult {
    std::string output;   // standard output, byte for byte
    int status;           // exit status, or -1 if it did not exit normally
};

CommandResult runCommand(const std::string& command);
