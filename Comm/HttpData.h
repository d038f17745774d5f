// CHttpData: one HTTP request and its response, handed to CCurlHttp.
// The request texts (szUrl, szVerb, szHead, szPostData) are the caller's and
// must outlive the request, except a URL set through SetUrl, which the record
// copies. The response header and body are malloc'd buffers owned by the
// record and freed by Release, by the setters and on destruction.
// One thread at a time; not copyable.
#pragma once

#include <atomic>
#include <cstdint>

#include "AutoString.h"

class CHttpData {
public:
    // A response beyond this many bytes (header and body together) is cut
    // off: the transfer fails. The larger cap is for bodies that are an
    // algorithm module or an update package.
    static constexpr uint64_t kMaxRespLen = 8u << 20;
    static constexpr uint64_t kMaxModuleRespLen = 64u << 20;
    static constexpr uint64_t kDefaultPostLen = UINT64_MAX;  // take strlen(szPostData)

    // Buffers still held at destruction are always freed, whatever
    // bAutoRelease says: nothing else can free them once the record is gone.
    explicit CHttpData(bool bAutoRelease = true);
    ~CHttpData();
    CHttpData(const CHttpData&) = delete;
    CHttpData& operator=(const CHttpData&) = delete;

    const char* szUrl = nullptr;
    const char* szVerb = "GET";    // "POST" in any case sends szPostData
    const char* szHead = nullptr;  // extra header lines separated by "\r\n"
    const char* szPostData = nullptr;
    uint64_t dwPostDataLen = kDefaultPostLen;
    uint64_t dwTimeOut = 10000;  // milliseconds, for connecting and for the whole request
    int retCode = 0;             // HTTP status, or the libcurl code of a failed transfer
    uint64_t dwDataLen = 0;      // length of the response body
    bool bChangeCode = true;
    unsigned int pageCode = 0;
    bool bRedirect = true;
    // https only: check the server's certificate chain and host name. Off by
    // default because portals present certificates of their own.
    bool bVerifyPeer = false;
    uint64_t dwMaxRespLen = kMaxRespLen;
    // When set, the transfer is abandoned (as a failed transfer) soon after
    // the flag turns true: a program that is closing need not wait out a
    // long download. The flag belongs to the caller and outlives the call.
    const std::atomic<bool>* pbCancel = nullptr;

    // Copies url into the record and points szUrl at the copy.
    void SetUrl(const char* url);

    // The buffers, or "" when none is held; never null.
    const char* RespHead() const { return m_szRespHead ? m_szRespHead : ""; }
    const char* RespData() const { return m_szRespData ? m_szRespData : ""; }
    bool HasRespHead() const { return m_szRespHead != nullptr; }
    bool HasRespData() const { return m_szRespData != nullptr; }
    // Take ownership of a malloc'd, NUL-terminated buffer (null to drop),
    // freeing the one held before.
    void RespHead(char* buffer);
    void RespData(char* buffer);
    // Hand the buffer to the caller, who frees it with free(); null when none.
    char* DetachRespHead();
    char* DetachRespData();
    // Frees both buffers.
    void Release();
    bool IsAutoRelease() const { return m_bAutoRealease; }

    // Value of the header name (with or without its colon) in the response
    // header block, trimmed at both ends; empty when absent. The name is
    // matched without regard to case, at the start of a line only.
    CAutoString GetHeadAttri(CAutoString name) const;
    // The redirect target of the response by its status (302/303: Location;
    // 200: meta refresh or script location.href), lower-cased; empty when
    // there is none or it is not an http:// or https:// address.
    CAutoString GetRedirectAddress() const;

private:
    CAutoString GetLocationTarget() const;
    CAutoString GetPageTarget() const;

    char* m_szRespHead = nullptr;
    char* m_szRespData = nullptr;
    bool m_bAutoRealease;
    CAutoString m_strOwnUrl;
};
