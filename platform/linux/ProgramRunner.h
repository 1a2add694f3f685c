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

constexpr size_t kProgramOutputLimit = 64 * 1024;

// A program running beside the caller's event loop, with `arguments` after argv[0],
// standard input and error on /dev/null. Its standard output arrives on a
// non-blocking pipe for the loop to poll, and is collected up to the limit (past
// it, read and dropped, so the program never blocks on a full pipe). Destroying
// the object while the program runs kills and reaps it.
class RunningProgram {
  public:
    RunningProgram() = default;
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // False when it could not be started. Only once per object.
    bool start(const std::string& path, const std::vector<std::string>& arguments,
               size_t outputLimit = kProgramOutputLimit);
    // The pipe to poll for input; -1 once the output has ended.
    int outputFd() const { return outputFd_; }
    // Until it is reaped; -1 afterwards.
    pid_t pid() const { return pid_; }
    // Takes what the pipe holds, without waiting; closes it at the end of the output.
    void readOutput();
    // Once the output has ended, collects the exit: without waiting, or blocking until
    // it comes. True when the program is done and result() is complete.
    bool finished(bool wait = false);
    // Runs it to its end (blocking) and returns the result.
    const ProgramResult& wait();
    const ProgramResult& result() const { return result_; }
    // Ends it at once (SIGKILL) and reaps it; exitCode stays -1.
    void kill();

  private:
    void closeOutput();

    pid_t pid_ = -1;
    int outputFd_ = -1;
    size_t outputLimit_ = kProgramOutputLimit;
    ProgramResult result_;
};

// Runs the program to its end (see RunningProgram) and collects what it prints.
ProgramResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                         size_t outputLimit = kProgramOutputLimit);

// Starts the program and returns at once; -1 when it could not be started. The
// caller reaps it (reapChildren).
pid_t startProgram(const std::string& path, const std::vector<std::string>& arguments);

// Collects the exit of started programs that have ended; the ones still running
// stay in the list.
void reapChildren(std::vector<pid_t>& children);
