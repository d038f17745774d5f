// CHttpHelper: splits an address into the part before "?" and its query
// parameters (no percent-decoding), and pulls the host and port out of an
// address. One thread at a time; the static helpers are free to share.
#pragma once

#include <map>

#include "AutoString.h"

class CHttpHelper {
public:
    // Keeps the address with every space, CR and LF removed. False for an
    // address without "http://" or with a query piece (other than the last)
    // lacking "="; a last piece without "=" is ignored. Without "?" the URL
    // part keeps its previous value. The parameters of an earlier address
    // are always dropped; a later duplicate name wins.
    bool SetAddress(CAutoString address);
    // url = before "?", parameters = after it; false without "http://" or "?".
    static bool ParseAddress(CAutoString address, CAutoString& url, CAutoString& parameters);
    // Host of an "http://" or "https://" address. The port stays attached
    // here, and also in the three-argument form when no "/" follows the host.
    static bool ParseIP(CAutoString address, CAutoString& host);
    static bool ParseIP(CAutoString address, CAutoString& host, CAutoString& port);
    // A value made safe for a query: every byte but letters, digits, "-",
    // ".", "_", "~" and "@" becomes "%XX", so "&", "=", "#", "+", blanks and
    // non-ASCII text cannot split or add parameters. Null gives "".
    static CAutoString EncodeQueryValue(const char* value);

    const CAutoString& GetAddress() const { return m_address; }
    CAutoString GetUrl() const { return m_url; }
    // "" when absent.
    CAutoString GetParam(const char* name) const;
    const std::map<CAutoString, CAutoString>& GetParams() const { return m_params; }

private:
    CAutoString m_address;
    CAutoString m_url;
    std::map<CAutoString, CAutoString> m_params;
};
