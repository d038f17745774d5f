#include "UpdateManager.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "ClientStartup.h"
#include "CurlHttp.h"
#include "DetachedProcess.h"
#include "HandOverConfig.h"
#include "HttpData.h"
#include "ISvrInfoCenter.h"
#include "Markup.h"
#include "PackageDownloader.h"
#include "UpdateAnswer.h"
#include "UpdateList.h"
#include "UpdateRequest.h"
#include "WholeFile.h"

namespace {

constexpr int kAttempts = 3;
constexpr auto kPauseBetweenAttempts = std::chrono::milliseconds(5);
constexpr uint64_t kQueryTimeoutMs = 15000;

struct FreeDeleter {
    void operator()(char* text) const noexcept { free(text); }
};

// The working directory at any length; "" when it cannot be read (removed,
// or a parent without search permission).
std::string CurrentDirectory() {
    std::unique_ptr<char, FreeDeleter> cwd(getcwd(nullptr, 0));
    return cwd ? std::string(cwd.get()) : std::string();
}

bool IsReadableFile(const std::string& file) {
    std::error_code error;
    return std::filesystem::is_regular_file(file, error) && access(file.c_str(), R_OK) == 0;
}

// The query goes after the address's own query, if it has one.
std::string QuerySeparator(const std::string& address) {
    if (address.find('?') == std::string::npos) return "?";
    char last = address.back();
    return last == '?' || last == '&' ? "" : "&";
}

}  // namespace

CUpdateManager* CUpdateManager::GetInst() {
    static CUpdateManager instance(CurrentDirectory(), ClientInfoCenter());
    return &instance;
}

CUpdateManager::CUpdateManager(std::string installDir, ISvrInfoCenter* info)
    : m_staging(std::move(installDir)), m_pInfo(info) {}

CUpdateManager::~CUpdateManager() { Shutdown(); }

bool CUpdateManager::CheckStartUp() {
    if (!m_staging.IsValid()) return false;
    std::string updater = m_staging.File(kUpdater);
    std::string list = m_staging.File(kList);
    if (access(updater.c_str(), F_OK) != 0 || !IsReadableFile(m_staging.File(kAnswer)) ||
        !IsReadableFile(list) || CUpdateList::FileState(list) != CUpdateList::kAllDownloaded) {
        return false;
    }
    std::string config = CHandOverConfig::Build(m_staging.InstallDir());
    if (config.empty()) {
        printf("staged update not handed over: conf/conf.xml cannot be read\n");
        return false;
    }
    // The updater outlives us (we end at once) and our terminal.
    int error = SpawnDetached({updater, config}, m_staging.InstallDir(), true);
    if (error != 0) printf("cannot start %s: %s\n", updater.c_str(), strerror(error));
    return error == 0;
}

void CUpdateManager::StartBackgroundCheck() {
    std::call_once(m_started, [this] {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bCancel) return;
        try {
            m_worker = std::thread([this] { RunCheck(); });
        } catch (const std::system_error& error) {
            printf("update check not started: %s\n", error.what());
        }
    });
}

void CUpdateManager::Shutdown() {
    std::thread worker;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bCancel = true;
        worker = std::move(m_worker);
    }
    m_wake.notify_all();
    if (!worker.joinable()) return;
    if (worker.get_id() == std::this_thread::get_id()) {
        worker.detach();
    } else {
        worker.join();
    }
}

void CUpdateManager::RunCheck() {
    if (!m_staging.IsValid()) {
        printf("update check skipped: the installation directory is unknown\n");
        return;
    }
    if (!m_staging.Create()) {
        printf("update check skipped: cannot create %s\n", m_staging.Path().c_str());
        return;
    }
    for (int attempt = 0; attempt < kAttempts && !m_bCancel; ++attempt) {
        if (RunAttempt() == EStep::Done) return;
    }
}

CUpdateManager::EStep CUpdateManager::RunAttempt() {
    std::string address = CUpdateRequest::Address(Value("FUN_Update"));
    if (address.empty()) {
        printf("update url is null\n");
        return Pause() ? EStep::Retry : EStep::Done;
    }
    std::string url =
        address + QuerySeparator(address) +
        CUpdateRequest::Query(Value("version"), Value("clientId"), Value("account"), Value("schoolId"));
    CHttpData query;
    query.SetUrl(url.c_str());
    query.dwTimeOut = kQueryTimeoutMs;
    // What the answer lists is handed to an installer: only a server that
    // proves its name may tell us what to install.
    query.bVerifyPeer = true;
    query.pbCancel = &m_bCancel;
    if (CCurlHttp::Perform(&query) != 0) return Pause() ? EStep::Retry : EStep::Done;
    m_strAnswer = query.RespData();

    if (!m_staging.Remove(kUpdater)) return EStep::Done;
    int packages = StoreAnswer(m_strAnswer);
    if (packages < 0) return EStep::Done;
    if (packages == 0) {
        m_staging.Clear();
        return EStep::Done;
    }
    DownloadListed();
    switch (CUpdateList::FileState(m_staging.File(kList))) {
        case CUpdateList::kAllDownloaded:
            Install();
            return EStep::Done;
        case CUpdateList::kNoItems:
            return EStep::Done;
        default:
            return m_bCancel ? EStep::Done : EStep::Retry;
    }
}

int CUpdateManager::StoreAnswer(const std::string& answer) {
    if (!m_staging.Remove(kList) || !m_staging.Remove(kAnswer)) return -1;
    std::string saved = m_staging.File(kAnswer);
    CMarkup parsed(answer.c_str());
    if (!parsed.IsWellFormed() || CWholeFile::WriteAtomic(saved.c_str(), answer.data(), answer.size()) != 0) {
        printf("save xml to %s failed!\n", saved.c_str());
        return -1;
    }
    CUpdateList list;
    int packages = CUpdateAnswer::Read(answer, list);
    if (!list.Items().empty() && !list.Save(m_staging.File(kList))) return -1;
    return packages;
}

void CUpdateManager::DownloadListed() {
    std::string file = m_staging.File(kList);
    CUpdateList list;
    if (!list.Load(file)) return;
    CPackageDownloader downloader(&m_bCancel);
    for (CUpdateItem& item : list.Items()) {
        if (m_bCancel) return;
        if (item.state == CUpdateList::kListed) {
            item.state = CUpdateList::kDownloading;
        } else if (item.state != CUpdateList::kDownloading) {
            continue;
        }
        std::string package = m_staging.PackageFile(item.name);
        if (package.empty() || item.text.empty() || !downloader.Fetch(item, package)) continue;
        item.state = CUpdateList::kDownloaded;
        item.text = package;
        list.Save(file);
    }
}

void CUpdateManager::Install() {
    std::error_code error;
    bool hasLibs = std::filesystem::exists(m_staging.InstallDir() + "/" + kUpdaterLibs, error);
    if ((hasLibs && !m_staging.CopyFromInstallDir(kUpdaterLibs)) || !m_staging.CopyFromInstallDir(kUpdater))
        printf("cannot stage the updater %s in %s\n", kUpdater, m_staging.Path().c_str());
}

bool CUpdateManager::Pause() {
    std::unique_lock<std::mutex> guard(m_lock);
    return !m_wake.wait_for(guard, kPauseBetweenAttempts, [this] { return m_bCancel.load(); });
}

std::string CUpdateManager::Value(const char* key) const {
    return m_pInfo ? std::string(m_pInfo->GetValue(key).c_str()) : std::string();
}
