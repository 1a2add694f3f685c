#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>
#include <vector>

// Helper programs (dialogs, the desktop's URL opener) are started directly, never
// through a shell, so no text the program passes is ever interpreted.

// The full path of an executable named `name` in the folders of `searchPath` (a
// PATH value); empty when there is none.
std::string findProgram(const std::string& name, const std::string& searchPath);

struct ProgramResult {
    bool started = false;
    int exitCode = -1;      // -1 when it did not exit normally
    std::string output;     // standard output, up to the limit
    bool truncated = false; // more was written than the limit kept
};

// Runs the program to its end with `arguments` after argv[0], standard input and
// error on /dev/null, and collects what it prints.
ProgramResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                         size_t outputLimit = 64 * 1024);

// Starts the program and returns at once; -1 when it could not be started. The
// caller reaps it (reapChildren).
pid_t startProgram(const std::string& path, const std::vector<std::string>& arguments);

// Collects the exit of started programs that have ended; the ones still running
// stay in the list.
void reapChildren(std::vector<pid_t>& children);
