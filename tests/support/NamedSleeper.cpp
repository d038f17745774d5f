#include "NamedSleeper.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

NamedSleeper::NamedSleeper(const TempDir& dir, const std::string& name) {
    std::string link = dir / name;
    symlink("/bin/sleep", link.c_str());
    // Start returns once exec has run, and exec is what sets comm.
    ChildProcess::Options options;
    options.argv = {link, "30"};
    std::string error;
    if (!m_child.Start(options, &error)) throw std::runtime_error("cannot start " + name + ": " + error);
}

void NamedSleeper::KillWithoutReaping() {
    kill(Pid(), SIGKILL);
    // Exited (a zombie) once waitid sees it; WNOWAIT leaves it unreaped.
    siginfo_t info;
    waitid(P_PID, static_cast<id_t>(Pid()), &info, WEXITED | WNOWAIT);
}
