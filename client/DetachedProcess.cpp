#include "DetachedProcess.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "UniqueFd.h"

extern char** environ;

namespace {

// Reports errno on the pipe and ends; only async-signal-safe calls here.
[[noreturn]] void FailChild(int reportFd, int code) {
    ssize_t ignored = write(reportFd, &code, sizeof(code));
    (void)ignored;
    _exit(127);
}

}  // namespace

int SpawnDetached(const std::vector<std::string>& argv, const std::string& workDir, bool ownSession) {
    if (argv.empty()) return EINVAL;
    // Built before fork: the children may not allocate.
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return errno;
    CUniqueFd reader(report[0]), writer(report[1]);
    pid_t middle = fork();
    if (middle < 0) return errno;
    if (middle == 0) {
        if (ownSession && setsid() < 0) FailChild(report[1], errno);
        pid_t program = fork();
        if (program < 0) FailChild(report[1], errno);
        if (program > 0) _exit(0);
        if (chdir(workDir.c_str()) != 0) FailChild(report[1], errno);
        // Nothing of the client's (pipes, sockets, the window's files) may
        // stay open in the program.
        if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
            for (int fd = 3; fd < 1024; ++fd) fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        execve(args[0], args.data(), environ);
        FailChild(report[1], errno);
    }
    writer.Reset();
    int status = 0;
    while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    // End of file without a word: exec closed the pipe.
    int code = 0;
    ssize_t got;
    do {
        got = read(reader.Get(), &code, sizeof(code));
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(sizeof(code)) ? code : 0;
}
