#include "CurlHttp.h"

#include <strings.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BufferArray.h"
#include "CurlHandle.h"
#include "HttpData.h"
#include "SimpleFile.h"

namespace {

// URLs come from the portal: nothing but web addresses may be fetched, also
// through a redirect.
constexpr char kProtocols[] = "http,https";
constexpr long kMaxRedirects = 10;
// "下载进度%0d%%\r" in GBK, the console encoding of the target desktops.
constexpr char kProgressFormat[] = "\xcf\xc2\xd4\xd8\xbd\xf8\xb6\xc8%0d%%\r";

// Counts the bytes of one transfer against its cap; once over, the transfer
// is aborted by returning a short count from the callback.
struct CByteBudget {
    uint64_t used;
    uint64_t limit;

    bool Take(size_t length) {
        if (length > limit || used > limit - length) return false;
        used += length;
        return true;
    }
};

struct CMemorySink {
    CBufferArray* pBuffer;
    CByteBudget* pBudget;
};

size_t WriteToMemory(char* data, size_t size, size_t count, void* user) {
    size_t length = size * count;
    CMemorySink* sink = static_cast<CMemorySink*>(user);
    if (!sink->pBudget->Take(length)) return 0;
    return sink->pBuffer->AddBuffer(data, length) == 0 ? length : 0;
}

struct CFileSink {
    CSimpleFile* pFile;
    CURL* pCurl;
    CByteBudget* pBudget;
    uint64_t written;
};

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
    size_t length = size * count;
    CFileSink* sink = static_cast<CFileSink*>(user);
    // An error page must not be appended to the partial file.
    long status = 0;
    curl_easy_getinfo(sink->pCurl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) return length;
    if (!sink->pBudget->Take(length)) return 0;
    if (sink->pFile->WriteFile(data, length) != 0) return 0;
    sink->written += length;
    return length;
}

struct CProgress {
    curl_off_t local;
    int shown;
};

int ShowProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    CProgress* progress = static_cast<CProgress*>(user);
    int percent = 0;
    if (total > 0) percent = static_cast<int>((progress->local + now) * 100 / (progress->local + total));
    if (percent != progress->shown) {
        progress->shown = percent;
        printf(kProgressFormat, percent);
        fflush(stdout);
    }
    return 0;
}

// Ends the transfer once the caller's cancel flag is up; libcurl calls this
// at least once a second, also while it waits for a silent server.
int CheckCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

// Splits at "\r\n", then drops every other control character, so that no
// value taken from a file or a response header can start a line of its own.
std::vector<std::string> HeaderLines(const char* head) {
    std::vector<std::string> lines;
    std::string text(head);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line;
        for (size_t i = start; i < end; ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (c >= 0x20 && c != 0x7f) line.push_back(static_cast<char>(c));
        }
        if (!line.empty()) lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

// Remembers the first failing option so that a request is never sent with
// a setting silently missing.
class COptions {
public:
    explicit COptions(CURL* curl) : m_pCurl(curl) {}
    template <typename T>
    void Set(CURLoption option, T value) {
        CURLcode rc = curl_easy_setopt(m_pCurl, option, value);
        if (m_result == CURLE_OK) m_result = rc;
    }
    void Fail(CURLcode rc) {
        if (m_result == CURLE_OK) m_result = rc;
    }
    CURLcode Result() const { return m_result; }

private:
    CURL* m_pCurl;
    CURLcode m_result = CURLE_OK;
};

void SetCommonLimits(COptions& options) {
    options.Set(CURLOPT_NOSIGNAL, 1L);
    options.Set(CURLOPT_PROTOCOLS_STR, kProtocols);
    options.Set(CURLOPT_REDIR_PROTOCOLS_STR, kProtocols);
    options.Set(CURLOPT_MAXREDIRS, kMaxRedirects);
}

// Header list, normalised URL, verb, error buffer, time limits and
// redirects: what Perform and the record download share.
// Also drops whatever response the record still holds from an earlier use.
void SetRequest(COptions& options, CHttpData* pData, CCurlSlist& headers, char* errorBuffer) {
    pData->Release();
    pData->dwDataLen = 0;
    if (pData->szHead && *pData->szHead) {
        for (const std::string& line : HeaderLines(pData->szHead)) {
            curl_slist* grown = curl_slist_append(headers.Get(), line.c_str());
            if (!grown) {
                options.Fail(CURLE_OUT_OF_MEMORY);
                break;
            }
            headers.Detach();
            headers.Reset(grown);
        }
        options.Set(CURLOPT_HTTPHEADER, headers.Get());
    }
    pData->SetUrl(CCurlHttp::PretreatUrl(pData->szUrl));
    options.Set(CURLOPT_URL, pData->szUrl);
    if (pData->szVerb && strcasecmp(pData->szVerb, "POST") == 0) {
        // A null body would make libcurl read the body from standard input.
        const char* body = pData->szPostData ? pData->szPostData : "";
        curl_off_t length = -1;
        if (!pData->szPostData) {
            length = 0;
        } else if (pData->dwPostDataLen != CHttpData::kDefaultPostLen) {
            length = static_cast<curl_off_t>(pData->dwPostDataLen);
        }
        options.Set(CURLOPT_POST, 1L);
        options.Set(CURLOPT_POSTFIELDS, body);
        options.Set(CURLOPT_POSTFIELDSIZE_LARGE, length);
    } else {
        options.Set(CURLOPT_HTTPGET, 1L);
    }
    options.Set(CURLOPT_ERRORBUFFER, errorBuffer);
    long timeout =
        pData->dwTimeOut > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(pData->dwTimeOut);
    options.Set(CURLOPT_CONNECTTIMEOUT_MS, timeout);
    options.Set(CURLOPT_TIMEOUT_MS, timeout);
    options.Set(CURLOPT_FOLLOWLOCATION, pData->bRedirect ? 1L : 0L);
    if (pData->pbCancel) {
        options.Set(CURLOPT_NOPROGRESS, 0L);
        options.Set(CURLOPT_XFERINFOFUNCTION, CheckCancel);
        options.Set(CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(pData->pbCancel));
    }
    SetCommonLimits(options);
}

void ReportError(CURLcode rc, const char* errorBuffer) {
    fprintf(stderr, "\nlibcurl: (%d) ", static_cast<int>(rc));
    size_t length = strlen(errorBuffer);
    if (length) {
        fprintf(stderr, "%s%s", errorBuffer, errorBuffer[length - 1] == '\n' ? "" : "\n");
    } else {
        fprintf(stderr, "%s\n", curl_easy_strerror(rc));
    }
}

bool IsHttps(const char* url) { return strstr(url, "https://") != nullptr; }

// A 416 answer to a resumed download means "nothing left to send" only when
// the server's length (Content-Range: bytes */N) is the local length; any
// other 416 means the partial file does not belong to this address.
bool IsAlreadyComplete(long status, const CBufferArray& head, int64_t local) {
    if (status != 416 || local <= 0) return false;
    char* joined = head.JoinToCString();
    if (!joined) return false;
    CAutoString text(joined);
    free(joined);
    text.MakeLower();
    int at = -1;
    for (int next = text.Find("content-range:"); next >= 0; next = text.Find("content-range:", next + 1))
        at = next;
    if (at < 0) return false;
    int lineEnd = text.Find('\n', at);
    CAutoString line = lineEnd < 0 ? text.Mid(at) : text.Mid(at, lineEnd - at);
    int slash = line.Find('/');
    if (slash < 0) return false;
    char* end = nullptr;
    long long total = strtoll(line.GetBuffer() + slash + 1, &end, 10);
    return end != line.GetBuffer() + slash + 1 && total == local;
}

}  // namespace

int CCurlHttp::Perform(CHttpData* pData) {
    if (!pData || !pData->szUrl || !*pData->szUrl) return -1;
    CCurlEasy curl(curl_easy_init());
    if (!curl) return -2;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CCurlSlist headers;
    COptions options(curl.Get());
    SetRequest(options, pData, headers, errorBuffer);
    if (IsHttps(pData->szUrl)) {
        // Portals present certificates of their own; callers that send
        // account data elsewhere ask for verification.
        options.Set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
        options.Set(CURLOPT_SSL_VERIFYPEER, pData->bVerifyPeer ? 1L : 0L);
        options.Set(CURLOPT_SSL_VERIFYHOST, pData->bVerifyPeer ? 2L : 0L);
    }
    CBufferArray head;
    CBufferArray body;
    CByteBudget budget{0, pData->dwMaxRespLen};
    CMemorySink headSink{&head, &budget};
    CMemorySink bodySink{&body, &budget};
    options.Set(CURLOPT_HEADERFUNCTION, WriteToMemory);
    options.Set(CURLOPT_HEADERDATA, &headSink);
    options.Set(CURLOPT_WRITEFUNCTION, WriteToMemory);
    options.Set(CURLOPT_WRITEDATA, &bodySink);

    CURLcode rc = options.Result();
    if (rc == CURLE_OK) rc = curl_easy_perform(curl.Get());
    if (rc != CURLE_OK) {
        pData->retCode = static_cast<int>(rc);
        ReportError(rc, errorBuffer);
        return -4;
    }
    long status = 0;
    curl_easy_getinfo(curl.Get(), CURLINFO_RESPONSE_CODE, &status);
    pData->retCode = static_cast<int>(status);
    if (status >= 400) return -3;

    char* headText = head.JoinToCString();
    char* bodyText = body.JoinToCString();
    pData->RespHead(headText);
    pData->RespData(bodyText);
    if (!headText || !bodyText) {
        pData->Release();
        pData->retCode = static_cast<int>(CURLE_OUT_OF_MEMORY);
        return -4;
    }
    pData->dwDataLen = body.GetAllBufferSize();
    return 0;
}

bool CCurlHttp::downLoad(const char* url, const char* file) {
    if (!url || !*url || !file) return false;
    CCurlEasy curl(curl_easy_init());
    if (!curl) return false;
    int64_t local = GetLocalFileLenth(file);
    CSimpleFile out;
    if (out.CreateFile(file, "a+b") != 0) return false;

    CByteBudget budget{static_cast<uint64_t>(local), CHttpData::kMaxModuleRespLen};
    CBufferArray head;
    CMemorySink headSink{&head, &budget};
    CFileSink sink{&out, curl.Get(), &budget, 0};
    CProgress progress{static_cast<curl_off_t>(local), -1};
    COptions options(curl.Get());
    options.Set(CURLOPT_URL, url);
    options.Set(CURLOPT_HEADERFUNCTION, WriteToMemory);
    options.Set(CURLOPT_HEADERDATA, &headSink);
    options.Set(CURLOPT_WRITEFUNCTION, WriteToFile);
    options.Set(CURLOPT_WRITEDATA, &sink);
    options.Set(CURLOPT_NOPROGRESS, 0L);
    options.Set(CURLOPT_XFERINFOFUNCTION, ShowProgress);
    options.Set(CURLOPT_XFERINFODATA, &progress);
    // A stalled server is given up after 5 seconds below 1 byte per second.
    options.Set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    options.Set(CURLOPT_LOW_SPEED_TIME, 5L);
    options.Set(CURLOPT_HEADER, 0L);
    options.Set(CURLOPT_NOBODY, 0L);
    options.Set(CURLOPT_FOLLOWLOCATION, 1L);
    options.Set(CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(local));
    SetCommonLimits(options);

    CURLcode rc = options.Result();
    if (rc == CURLE_OK) rc = curl_easy_perform(curl.Get());
    long status = 0;
    curl_easy_getinfo(curl.Get(), CURLINFO_RESPONSE_CODE, &status);
    bool closed = out.CloseFile() == 0;
    if (rc != CURLE_OK || !closed) return false;
    return status < 400 || IsAlreadyComplete(status, head, local);
}

bool CCurlHttp::downLoad(CHttpData* pData, const char* file) {
    if (!pData || !file) return true;
    CCurlEasy curl(curl_easy_init());
    if (!curl) return true;
    int64_t local = GetLocalFileLenth(file);
    printf("local file len is %ld\n", static_cast<long>(local));
    CSimpleFile out;
    if (out.CreateFile(file, "a+b") != 0) return true;
    if (!pData->szUrl || !*pData->szUrl) return true;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CCurlSlist headers;
    COptions options(curl.Get());
    SetRequest(options, pData, headers, errorBuffer);
    if (IsHttps(pData->szUrl)) options.Set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    CBufferArray head;
    CByteBudget budget{static_cast<uint64_t>(local), pData->dwMaxRespLen};
    CMemorySink headSink{&head, &budget};
    CFileSink bodySink{&out, curl.Get(), &budget, 0};
    options.Set(CURLOPT_HEADERFUNCTION, WriteToMemory);
    options.Set(CURLOPT_HEADERDATA, &headSink);
    options.Set(CURLOPT_WRITEFUNCTION, WriteToFile);
    options.Set(CURLOPT_WRITEDATA, &bodySink);
    options.Set(CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(local));

    CURLcode rc = options.Result();
    if (rc == CURLE_OK) rc = curl_easy_perform(curl.Get());
    bool closed = out.CloseFile() == 0;
    if (rc != CURLE_OK) {
        pData->retCode = static_cast<int>(rc);
        ReportError(rc, errorBuffer);
        return true;
    }
    long status = 0;
    curl_easy_getinfo(curl.Get(), CURLINFO_RESPONSE_CODE, &status);
    pData->retCode = static_cast<int>(status);
    pData->RespHead(head.JoinToCString());
    pData->dwDataLen = bodySink.written;
    if (!closed) return true;
    return status >= 400 && !IsAlreadyComplete(status, head, local);
}

int64_t CCurlHttp::GetLocalFileLenth(const char* file) {
    struct stat info;
    if (!file || stat(file, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<int64_t>(info.st_size);
}

CAutoString CCurlHttp::PretreatUrl(const char* url) {
    CAutoString text(url ? url : "");
    int scheme = text.Find("://");
    int query = scheme < 0 ? -1 : text.Find('?', scheme + 3);
    if (query > 0) {
        int hostStart = scheme + 3;
        bool hasPath = false;
        for (int i = hostStart; i < query; ++i) hasPath = hasPath || text.GetBuffer()[i] == '/';
        if (!hasPath && text.GetBuffer()[query - 1] != '/') {
            CAutoString fixed = text.Left(query);
            fixed += "/";
            fixed += text.Mid(query);
            text = fixed;
        }
    }
    text.Replace("&amp;", "&");
    return text;
}
