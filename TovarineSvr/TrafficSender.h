// ITrafficSender: posts one traffic statistics report. The service wires an
// HTTP implementation in; tests record what would be sent. Called only from
// the portal business's work thread; the request's texts are borrowed for
// the call.
#pragma once

#include <cstddef>

struct TRAFFIC_REQUEST {
    const char* pszURL = nullptr;  // http:// or https:// address
    const char* pszVerb = "POST";
    const char* pszHead = nullptr;  // header lines, each ending in "\r\n"
    const char* pszData = nullptr;  // body
    size_t nDataLen = 0;
    unsigned long ulTimeOutMs = 10000;  // connect and whole request
    bool bRedirect = false;             // redirects are not followed
    // Reports carry account data: for https the sender must verify the
    // server's certificate and host name when this is set.
    bool bVerifyPeer = true;
};

class ITrafficSender {
public:
    virtual ~ITrafficSender() = default;
    // 0 when the server took the report, otherwise a negative number (the
    // HTTP client's result).
    virtual int Send(const TRAFFIC_REQUEST& request) = 0;
};
