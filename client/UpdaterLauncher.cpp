#include "UpdaterLauncher.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "UniqueFd.h"

namespace {

// In the grandchild: report errno through the pipe and give up.
[[noreturn]] void Fail(int reportFd) {
    int error = errno;
    ssize_t written = write(reportFd, &error, sizeof(error));
    (void)written;
    _exit(127);
}

}  // namespace

bool CUpdaterLauncher::Start(const std::string& program, const std::string& argument, const std::string& workDir) {
    // Built before fork: the child may not allocate.
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        printf("cannot start %s: %s\n", program.c_str(), strerror(errno));
        return false;
    }
    CUniqueFd readEnd(fds[0]);
    CUniqueFd writeEnd(fds[1]);
    pid_t child = fork();
    if (child < 0) {
        printf("cannot start %s: %s\n", program.c_str(), strerror(errno));
        return false;
    }
    if (child == 0) {
        // The middle process only detaches the updater from us and leaves,
        // so init adopts it and our process group's fate is not its own.
        if (setsid() < 0) Fail(writeEnd.Get());
        pid_t updater = fork();
        if (updater < 0) Fail(writeEnd.Get());
        if (updater > 0) _exit(0);
        // Whatever the rest of the program opened without O_CLOEXEC
        // (pipes to the service, settings files) stays behind.
        syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC);
        if (chdir(workDir.c_str()) != 0) Fail(writeEnd.Get());
        execv(argv[0], argv);
        Fail(writeEnd.Get());
    }
    writeEnd.Reset();
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // End of file without a word: exec closed the pipe, the updater runs.
    int error = 0;
    ssize_t got;
    do {
        got = read(readEnd.Get(), &error, sizeof(error));
    } while (got < 0 && errno == EINTR);
    if (got == 0) return true;
    printf("cannot start %s: %s\n", program.c_str(), got > 0 ? strerror(error) : "no report from the child");
    return false;
}
