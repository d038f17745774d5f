// The desktop client's start-up pieces, called by main in this order:
// StartSingleClient on the main thread, LaunchService on a thread of its own
// (see ServiceLauncher.h), NetModuleThread on the pipe thread, which starts
// SendClientStart once the pipes are open. Everything is relative to the
// working directory unless a directory is given (tests).
#pragma once

#include <mutex>
#include <string>

class CClient;
class CClientManager;
class ISvrInfoCenter;

// The client's information center: CInfoCenter in its client flavour on
// the working directory's conf/client.xml.
ISvrInfoCenter* ClientInfoCenter();

// Exit status of the program when another client runs (main returns -1).
inline constexpr int kClientAlreadyRunning = 255;

// True when this process may run: no other live VelnorClient is recorded
// under "ClientPID". Records the own PID; prints "Client Process had start!"
// and returns false otherwise.
bool StartSingleClient();
bool StartSingleClient(ISvrInfoCenter* infoCenter);

// Posts "ClientStart" through the manager (the program's when null).
void SendClientStart(CClientManager* manager = nullptr);

// CNetModule: the pipe thread's work. Run creates the endpoint, hands it to
// the manager as its hub (registered as "NetModule"), connects, starts
// SendClientStart and serves messages until the pipe fails or Stop; then
// the manager forgets the endpoint and the endpoint is destroyed. SIGPIPE
// is ignored from Run on, so that a post after the service died only fails.
// Run on one thread; Stop from any thread, also before or after Run.
class CNetModule {
public:
    explicit CNetModule(CClientManager* manager, std::string directory = std::string());
    CNetModule(const CNetModule&) = delete;
    CNetModule& operator=(const CNetModule&) = delete;

    // 0 after serving; the connect result (printed as "open client pipe
    // failed ret = %d") when the pipes could not be opened.
    int Run(int maxConnectAttempts = -1);
    void Stop();

private:
    CClientManager* m_pManager;
    std::string m_directory;
    std::mutex m_lock;
    CClient* m_pClient = nullptr;  // under m_lock; only while Run holds it
    bool m_bStopped = false;
};

// The program's pipe thread: CNetModule on CClientManager::GetInst() in the
// working directory, until the pipe fails or StopNetModule.
void NetModuleThread();
void StopNetModule();
