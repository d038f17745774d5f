#include "Startup.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "AutoString.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "ProcessInfo.h"
#include "SimpleFile.h"

namespace {

const size_t kMaxPassword = 1024;

}  // namespace

bool IsServiceAlive(const char* pidText) { return ProcessInfo::IsNamedProcessAlive(pidText, "VelnorSvr"); }

bool StartSingle(ISvrInfoCenter* infoCenter, const char* lockPath, CUniqueFd& lock) {
    // The lock goes with the process however it ends, and two starts at
    // the same moment cannot both take it.
    CUniqueFd file(open(lockPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (file.IsValid()) {
        if (flock(file.Get(), LOCK_EX | LOCK_NB) != 0) return false;
        lock = std::move(file);
    } else {
        CAutoString recorded = infoCenter->GetLocalValue("PID");
        if (!recorded.IsEmpty() && IsServiceAlive(recorded)) return false;
    }
    CAutoString own;
    own.Format("%d\n", static_cast<int>(getpid()));
    infoCenter->SetLocalValue("PID", own);
    return true;
}

void InitLog() {
    char directory[CLog::kPathSize] = {0};
    CSimpleFile::GetModulePath(directory, sizeof(directory));
    std::string logDir = std::string(directory) + "/Log/";
    CLog::GetInst()->Create(logDir.c_str(), "Info.log", "%Y%m%d");
    CLog::GetInst()->SetLevel(kLogVerbose);
}

void WipeArgument(char* argument) {
    if (argument) memset(argument, 0, strlen(argument));
}

bool ReadPassword(int fd, std::string& password) {
    password.clear();
    struct termios saved;
    bool quiet = isatty(fd) && tcgetattr(fd, &saved) == 0;
    if (quiet) {
        fputs("Password: ", stderr);
        struct termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(fd, TCSAFLUSH, &silent);
    }
    // Byte by byte, so nothing after the line is taken from the input.
    bool any = false;
    char ch;
    for (;;) {
        ssize_t got = read(fd, &ch, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        any = true;
        if (ch == '\n') break;
        if (password.size() < kMaxPassword) password.push_back(ch);
    }
    if (quiet) {
        tcsetattr(fd, TCSAFLUSH, &saved);
        fputs("\n", stderr);
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return any;
}
