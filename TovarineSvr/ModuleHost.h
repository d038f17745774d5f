// CModuleHost: the service's end of VelnorAlgoHost, the separate process
// that runs algorithm module code. It starts the helper on first use, keeps
// it between calls, and stops it after any call that fails (a crash, a
// killed or hung module, a garbled reply); the next call starts a fresh
// one. Not thread-safe: CZsmHelper serialises every use.
#pragma once

#include <sys/types.h>

#include <string>

#include "ModuleWire.h"
#include "UniqueFd.h"

class CModuleHost {
public:
    static constexpr const char* kProgramName = "VelnorAlgoHost";

    // program: the helper's path; empty for kProgramName beside the running
    // executable.
    explicit CModuleHost(std::string program = "");
    ~CModuleHost();
    CModuleHost(const CModuleHost&) = delete;
    CModuleHost& operator=(const CModuleHost&) = delete;

    // Sends one request and waits at most timeoutMs for the reply; false
    // when the helper cannot start, dies, overruns or answers nonsense.
    bool Call(const ModuleWire::Request& request, ModuleWire::Reply& reply, int timeoutMs);

private:
    bool Start();
    // Kills and reaps the helper; logs how it ended when it was not us.
    void Stop(const char* why);

    std::string m_program;
    pid_t m_pid = -1;
    CUniqueFd m_socket;
};
