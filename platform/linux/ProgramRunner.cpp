#include "ProgramRunner.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <iterator>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> argumentVector(const std::string& path, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Standard input and error on /dev/null, standard output to `outputFd` (or /dev/null).
pid_t spawn(const std::string& path, const std::vector<std::string>& arguments, int outputFd,
            int closeInChild) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outputFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Nothing of ours (the update file, the X connection, the pipe's read end)
    // reaches the child or the browser it may start.
    (void)closeInChild;
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    std::vector<char*> argv = argumentVector(path, arguments);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

int waitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

std::string findProgram(const std::string& name, const std::string& searchPath) {
    if (name.empty() || name.find('/') != std::string::npos)
        return {};
    size_t start = 0;
    while (start <= searchPath.size()) {
        size_t end = searchPath.find(':', start);
        if (end == std::string::npos)
            end = searchPath.size();
        std::string folder = searchPath.substr(start, end - start);
        start = end + 1;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        // An empty entry means the working folder; a dialog program is never taken from there.
        if (folder.empty() || folder[0] != '/')
            continue;
        const std::string candidate = folder + "/" + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

RunningProgram::~RunningProgram() {
    kill();
}

bool RunningProgram::start(const std::string& path, const std::vector<std::string>& arguments,
                           size_t outputLimit) {
    if (pid_ >= 0 || result_.started) return false;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return false;
    const pid_t pid = spawn(path, arguments, ends[1], ends[0]);
    ::close(ends[1]);
    // Only our end: the child's standard output stays blocking.
    if (pid < 0 || ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK) != 0) {
        ::close(ends[0]);
        if (pid >= 0) {
            ::kill(pid, SIGKILL);
            waitForExit(pid);
        }
        return false;
    }
    pid_ = pid;
    outputFd_ = ends[0];
    outputLimit_ = outputLimit;
    result_.started = true;
    return true;
}

void RunningProgram::closeOutput() {
    if (outputFd_ >= 0) ::close(outputFd_);
    outputFd_ = -1;
}

void RunningProgram::readOutput() {
    char buffer[4096];
    // A bounded share per call, so a program that floods its output cannot hold the
    // caller's loop; the rest is there at the next poll.
    for (int turn = 0; turn < 16 && outputFd_ >= 0; ++turn) {
        const ssize_t got = ::read(outputFd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (got <= 0) {
            closeOutput(); // the end, or a pipe that failed: nothing more will come
            return;
        }
        const size_t room = outputLimit_ - std::min(outputLimit_, result_.output.size());
        if (size_t(got) > room) result_.truncated = true;
        result_.output.append(buffer, std::min(size_t(got), room));
    }
}

bool RunningProgram::finished(bool wait) {
    if (pid_ < 0) return result_.started;
    if (outputFd_ >= 0) return false;
    int status = 0;
    pid_t done;
    do
        done = ::waitpid(pid_, &status, wait ? 0 : WNOHANG);
    while (done < 0 && errno == EINTR);
    if (done == 0) return false;
    result_.exitCode = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return true;
}

const ProgramResult& RunningProgram::wait() {
    while (outputFd_ >= 0) {
        pollfd output{outputFd_, POLLIN, 0};
        if (::poll(&output, 1, -1) < 0 && errno != EINTR) {
            kill();
            return result_;
        }
        readOutput();
    }
    finished(true);
    return result_;
}

void RunningProgram::kill() {
    closeOutput();
    if (pid_ < 0) return;
    ::kill(pid_, SIGKILL); // the pid is still ours: not reaped yet
    waitForExit(pid_);
    pid_ = -1;
}

ProgramResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                         size_t outputLimit) {
    RunningProgram program;
    if (!program.start(path, arguments, outputLimit)) return {};
    return program.wait();
}

pid_t startProgram(const std::string& path, const std::vector<std::string>& arguments) {
    return spawn(path, arguments, -1, -1);
}

void reapChildren(std::vector<pid_t>& children) {
    for (auto it = children.begin(); it != children.end();) {
        int status = 0;
        const pid_t done = ::waitpid(*it, &status, WNOHANG);
        it = done == 0 ? std::next(it) : children.erase(it);
    }
}
