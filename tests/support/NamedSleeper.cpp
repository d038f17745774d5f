#include "NamedSleeper.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace {

std::string ReadComm(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

NamedSleeper::NamedSleeper(const TempDir& dir, const std::string& name) {
    std::string link = dir / name;
    symlink("/bin/sleep", link.c_str());
    m_pid = fork();
    if (m_pid == 0) {
        execl(link.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    // comm is set by exec; wait until it shows (bounded).
    for (int i = 0; i < 200 && ReadComm(m_pid) != name.substr(0, 15) + "\n"; ++i) usleep(10000);
}

NamedSleeper::~NamedSleeper() {
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
}

void NamedSleeper::KillWithoutReaping() {
    kill(m_pid, SIGKILL);
    // Exited (a zombie) once waitid sees it; WNOWAIT leaves it unreaped.
    siginfo_t info;
    waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT);
}
