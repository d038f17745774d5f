#include "ModuleSandbox.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <initializer_list>
#include <memory>

namespace ModuleSandbox {
namespace {

constexpr uid_t kNobody = 65534;

struct FilterFree {
    void operator()(scmp_filter_ctx ctx) const { seccomp_release(ctx); }
};

// Opening for reading is what the loader needs; any flag that could
// create or change a file is refused.
constexpr scmp_datum_t kWriteFlags = O_WRONLY | O_RDWR | O_CREAT | O_TRUNC | O_APPEND;

bool Allow(scmp_filter_ctx ctx, int call) { return seccomp_rule_add(ctx, SCMP_ACT_ALLOW, call, 0) == 0; }

}  // namespace

bool DropPrivileges() {
    struct rlimit noCore = {0, 0};
    if (setrlimit(RLIMIT_CORE, &noCore) != 0) return false;
    if (geteuid() == 0) {
        uid_t uid = kNobody;
        gid_t gid = kNobody;
        if (const struct passwd* nobody = getpwnam("nobody")) {
            uid = nobody->pw_uid;
            gid = nobody->pw_gid;
        }
        // Leaving every uid non-zero clears all capabilities as well.
        if (uid == 0 || setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 ||
            setresuid(uid, uid, uid) != 0)
            return false;
        if (setresuid(0, 0, 0) == 0) return false;
    }
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
}

bool InstallFilter(int socketFd) {
    std::unique_ptr<void, FilterFree> ctx(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!ctx) return false;
    scmp_filter_ctx c = ctx.get();
    bool ok = true;
    for (int call :
         {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(close), SCMP_SYS(fstat), SCMP_SYS(newfstatat),
          SCMP_SYS(lseek), SCMP_SYS(mmap), SCMP_SYS(mprotect), SCMP_SYS(munmap), SCMP_SYS(mremap),
          SCMP_SYS(madvise), SCMP_SYS(brk), SCMP_SYS(memfd_create), SCMP_SYS(futex), SCMP_SYS(getrandom),
          SCMP_SYS(clock_gettime), SCMP_SYS(rt_sigreturn), SCMP_SYS(exit), SCMP_SYS(exit_group)})
        ok = ok && Allow(c, call);
    // Module images go into memory files; descriptors 0 to 2 are not ours
    // to write.
    ok = ok && seccomp_rule_add(c, SCMP_ACT_ALLOW, SCMP_SYS(write), 1, SCMP_A0(SCMP_CMP_GE, 3)) == 0;
    ok = ok && seccomp_rule_add(c, SCMP_ACT_ALLOW, SCMP_SYS(sendto), 1,
                                SCMP_A0(SCMP_CMP_EQ, static_cast<scmp_datum_t>(socketFd))) == 0;
    ok = ok && seccomp_rule_add(c, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1,
                                SCMP_A2(SCMP_CMP_MASKED_EQ, kWriteFlags, 0)) == 0;
    ok = ok && seccomp_rule_add(c, SCMP_ACT_ALLOW, SCMP_SYS(open), 1,
                                SCMP_A1(SCMP_CMP_MASKED_EQ, kWriteFlags, 0)) == 0;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizer runtimes of test builds read their own maps, write
    // their reports to standard error, set up signal stacks and, for the
    // thread sanitizer, sleep in a background thread.
    ok = ok && seccomp_rule_add(c, SCMP_ACT_ALLOW, SCMP_SYS(write), 1, SCMP_A0(SCMP_CMP_EQ, 2)) == 0;
    for (int call : {SCMP_SYS(sigaltstack), SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigprocmask), SCMP_SYS(prctl),
                     SCMP_SYS(readlink), SCMP_SYS(getpid), SCMP_SYS(gettid), SCMP_SYS(sched_yield),
                     SCMP_SYS(nanosleep), SCMP_SYS(clock_nanosleep)})
        ok = ok && Allow(c, call);
#endif
    return ok && seccomp_load(c) == 0;
}

}  // namespace ModuleSandbox
