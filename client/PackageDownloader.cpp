#include "PackageDownloader.h"

#include <curl/curl.h>
#include <strings.h>

#include <cstdio>
#include <cstdlib>

#include "CurlHttp.h"
#include "HttpData.h"
#include "Md5.h"
#include "UpdateList.h"

namespace {

// Packages are large and links slow; an interrupted transfer resumes at the
// next attempt, so this only bounds a server that never finishes.
constexpr uint64_t kDownloadTimeoutMs = 30 * 60 * 1000;
constexpr long kStatusOk = 200;
constexpr long kStatusRangeNotSatisfiable = 416;

uint64_t ListedSize(const std::string& text) { return strtoull(text.c_str(), nullptr, 10); }

}  // namespace

bool CPackageDownloader::Fetch(const CUpdateItem& item, const std::string& file) const {
    uint64_t size = ListedSize(item.size);
    bool listed = size > 0 || !item.md5.empty();
    uint64_t local = static_cast<uint64_t>(CCurlHttp::GetLocalFileLenth(file.c_str()));
    if (listed && local > 0 && Matches(file, size, item.md5)) return true;
    // More than the package holds can only be a file of something else.
    if (size > 0 && local > size) remove(file.c_str());
    for (int round = 0; round < 2; ++round) {
        EOutcome outcome = Transfer(item.text, file);
        if (outcome == EOutcome::Failed) return false;
        if (outcome == EOutcome::Done && Matches(file, size, item.md5)) return true;
        printf("package %s does not match its listing, fetching it again\n", item.name.c_str());
        remove(file.c_str());
    }
    return false;
}

CPackageDownloader::EOutcome CPackageDownloader::Transfer(const std::string& address,
                                                          const std::string& file) const {
    int64_t before = CCurlHttp::GetLocalFileLenth(file.c_str());
    CHttpData data;
    data.SetUrl(address.c_str());
    data.dwTimeOut = kDownloadTimeoutMs;
    data.dwMaxRespLen = CHttpData::kMaxModuleRespLen;
    data.pbCancel = m_pbCancel;
    bool failed = CCurlHttp::downLoad(&data, file.c_str());
    if (m_pbCancel && m_pbCancel->load()) return EOutcome::Failed;
    // 416: the partial file does not belong to this address. A server that
    // ignores Range answers with the whole file: libcurl refuses to resume,
    // or (when it lets it through) the whole file is appended to the part.
    if (failed) {
        bool startOver = data.retCode == kStatusRangeNotSatisfiable || data.retCode == CURLE_RANGE_ERROR;
        return startOver ? EOutcome::StartOver : EOutcome::Failed;
    }
    if (before > 0 && data.retCode == kStatusOk) return EOutcome::StartOver;
    return EOutcome::Done;
}

bool CPackageDownloader::Matches(const std::string& file, uint64_t size, const std::string& md5) {
    if (size > 0 && static_cast<uint64_t>(CCurlHttp::GetLocalFileLenth(file.c_str())) != size) return false;
    return md5.empty() || strcasecmp(Md5HexFile(file.c_str()).c_str(), md5.c_str()) == 0;
}
