// ScopedNetns: a network namespace a test creates for itself (name given by
// the test, made unique with the process id), removed again together with
// its /etc/netns/<name> folder when the object goes, also when the test
// fails. Needs root and the ip tool; Ok() tells whether creation worked and
// Error() why not.
#pragma once

#include <string>
#include <vector>

#include "Subprocess.h"

class ScopedNetns {
public:
    explicit ScopedNetns(const std::string& prefix);
    ~ScopedNetns();
    ScopedNetns(const ScopedNetns&) = delete;
    ScopedNetns& operator=(const ScopedNetns&) = delete;

    bool Ok() const { return m_bCreated; }
    const std::string& Name() const { return m_strName; }
    const std::string& Error() const { return m_strError; }
    // /etc/netns/<name>: files here are bind-mounted over /etc for programs
    // started with Exec. Created on first use.
    std::string EtcDir();

    // "ip -n <name> <args...>".
    ProgramResult Ip(const std::vector<std::string>& args);
    // Runs argv inside the namespace with "ip netns exec".
    ProgramResult Exec(const std::vector<std::string>& argv, int timeoutMs = 30000);

    static bool IsRoot();

private:
    std::string m_strName;
    std::string m_strError;
    bool m_bCreated = false;
    bool m_bEtcCreated = false;
};
