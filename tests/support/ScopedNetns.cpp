#include "ScopedNetns.h"

#include <unistd.h>

#include <filesystem>

ScopedNetns::ScopedNetns(const std::string& prefix)
    : m_strName(prefix + "-" + std::to_string(static_cast<long>(getpid()))) {
    if (!IsRoot()) {
        m_strError = "needs root";
        return;
    }
    ProgramResult added = RunProgram({"ip", "netns", "add", m_strName});
    m_bCreated = added.exitCode == 0;
    if (!m_bCreated) m_strError = "ip netns add " + m_strName + " failed: " + added.output;
}

ScopedNetns::~ScopedNetns() {
    if (m_bCreated) RunProgram({"ip", "netns", "del", m_strName});
    if (m_bEtcCreated) {
        std::error_code ignored;
        // Only our own folder: /etc/netns itself may be shared with others.
        std::filesystem::remove_all("/etc/netns/" + m_strName, ignored);
    }
}

std::string ScopedNetns::EtcDir() {
    std::string dir = "/etc/netns/" + m_strName;
    if (!m_bEtcCreated) {
        std::error_code ignored;
        std::filesystem::create_directories(dir, ignored);
        m_bEtcCreated = true;
    }
    return dir;
}

ProgramResult ScopedNetns::Ip(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"ip", "-n", m_strName};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv);
}

ProgramResult ScopedNetns::Exec(const std::vector<std::string>& argv, int timeoutMs) {
    std::vector<std::string> full = {"ip", "netns", "exec", m_strName};
    full.insert(full.end(), argv.begin(), argv.end());
    return RunProgram(full, timeoutMs);
}

bool ScopedNetns::IsRoot() { return geteuid() == 0; }
