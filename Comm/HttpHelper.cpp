#include "HttpHelper.h"

#include <utility>

namespace {

// Bytes [begin, end); "" when empty (Mid reads a count of 0 as "to the end").
CAutoString Between(const CAutoString& text, int begin, int end) {
    if (begin < 0 || end <= begin) return CAutoString("");
    return text.Mid(begin, end - begin);
}

bool SplitHost(CAutoString address, CAutoString& host, CAutoString* port) {
    address.Trim();
    int scheme = address.Find("http://");
    int skip = 7;
    if (scheme < 0) {
        scheme = address.Find("https://");
        skip = 8;
    }
    if (scheme < 0) return false;
    CAutoString rest = address.Mid(scheme + skip);
    int slash = rest.Find('/');
    if (slash < 0) {
        host = rest;
        return !rest.IsEmpty();
    }
    host = Between(rest, 0, slash);
    if (port) {
        // The colons inside an IPv6 literal ("[2001:db8::1]:80") are not the port's.
        int close = host.GetBuffer()[0] == '[' ? host.Find(']') : -1;
        int colon = host.Find(':', close < 0 ? 0 : close);
        if (colon >= 0) {
            *port = host.Mid(colon + 1);
            host = Between(host, 0, colon);
        }
    }
    return true;
}

}  // namespace

bool CHttpHelper::SetAddress(CAutoString address) {
    address.Trim();
    m_address = address;
    m_params.clear();
    if (address.Find("http://") < 0) return false;
    int query = address.Find('?');
    if (query < 0) return true;
    m_url = Between(address, 0, query);
    int start = query + 1;
    int length = static_cast<int>(address.GetLength());
    while (start <= length) {
        int amp = address.Find('&', start);
        bool last = amp < 0;
        int end = last ? length : amp;
        CAutoString piece = Between(address, start, end);
        int equals = piece.Find('=');
        if (equals < 0) return last;
        CAutoString name = Between(piece, 0, equals);
        CAutoString value = piece.Mid(equals + 1);
        if (value.IsNull()) value = "";
        if (last) {
            name.Trim();
            value.Trim();
        }
        m_params.insert_or_assign(std::move(name), std::move(value));
        if (last) break;
        start = end + 1;
    }
    return true;
}

bool CHttpHelper::ParseAddress(CAutoString address, CAutoString& url, CAutoString& parameters) {
    address.Trim();
    int query = address.Find('?');
    if (address.Find("http://") < 0 || query < 0) return false;
    url = Between(address, 0, query);
    parameters = address.Mid(query + 1);
    return true;
}

bool CHttpHelper::ParseIP(CAutoString address, CAutoString& host) {
    return SplitHost(address, host, nullptr);
}

bool CHttpHelper::ParseIP(CAutoString address, CAutoString& host, CAutoString& port) {
    return SplitHost(address, host, &port);
}

CAutoString CHttpHelper::GetParam(const char* name) const {
    auto it = m_params.find(CAutoString(name ? name : ""));
    return it == m_params.end() ? CAutoString("") : it->second;
}

CAutoString CHttpHelper::EncodeQueryValue(const char* value) {
    static const char kDigits[] = "0123456789ABCDEF";
    CAutoString encoded("");
    for (const char* p = value ? value : ""; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.' || c == '_' || c == '~' || c == '@';
        char piece[4] = {static_cast<char>(c), 0, 0, 0};
        if (!plain) {
            piece[0] = '%';
            piece[1] = kDigits[c >> 4];
            piece[2] = kDigits[c & 15];
        }
        encoded += piece;
    }
    return encoded;
}
