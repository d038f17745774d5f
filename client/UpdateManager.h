// CUpdateManager: keeps the client current with the help of the separate
// updater "Korvast". Once per process, on a thread of its own, it asks the
// update server whether packages are due, lists them in the staging folder
// ("update.xml", the answer as "install.xml"), downloads and verifies them
// and puts the updater and its "libs" beside them. At the next start,
// main asks CheckStartUp whether that staging is complete; if so the
// updater is started with the hand-over configuration and the client ends.
//
// Threads: CheckStartUp runs on main before any worker exists;
// StartBackgroundCheck may be called from any thread (only the first call
// does anything); Shutdown (also the destructor) cancels a running check
// and joins the worker, and must run before libcurl's global clean-up.
// The worker is the only user of the staging folder while it runs.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "StagingDir.h"

class ISvrInfoCenter;

class CUpdateManager {
public:
    // The process's manager, for the working directory and the client's
    // information center; created on first use, destroyed at exit.
    static CUpdateManager* GetInst();

    // installDir "" (unknown) disables every check. info (null: no values,
    // so no address) must outlive the manager.
    CUpdateManager(std::string installDir, ISvrInfoCenter* info);
    ~CUpdateManager();
    CUpdateManager(const CUpdateManager&) = delete;
    CUpdateManager& operator=(const CUpdateManager&) = delete;

    // True when a complete staging was found and the updater started: the
    // caller then ends the process.
    bool CheckStartUp();
    // Starts the background check the first time; later calls do nothing.
    void StartBackgroundCheck();
    // The check itself, on the calling thread (the worker's routine).
    void RunCheck();
    // Cancels a running check (a transfer ends within about a second) and
    // waits for the worker.
    void Shutdown();

    const CStagingDir& Staging() const { return m_staging; }

    static constexpr const char* kUpdater = "Korvast";
    static constexpr const char* kUpdaterLibs = "libs";
    static constexpr const char* kList = "update.xml";
    static constexpr const char* kAnswer = "install.xml";

private:
    enum class EStep { Retry, Done };
    EStep RunAttempt();
    // The answer's packages into a fresh list: the count, or -1 when the old
    // files cannot be removed or the new ones saved.
    int StoreAnswer(const std::string& answer);
    void DownloadListed();
    void Install();
    // Waits the pause between attempts; false when the check is cancelled.
    bool Pause();
    std::string Value(const char* key) const;

    CStagingDir m_staging;
    ISvrInfoCenter* const m_pInfo;
    std::string m_strAnswer;  // the last answer; worker only
    std::atomic<bool> m_bCancel{false};
    std::once_flag m_started;
    std::mutex m_lock;  // guards m_worker's start and join, and the pause
    std::condition_variable m_wake;
    std::thread m_worker;
};
