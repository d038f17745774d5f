#include "HttpData.h"

#include <strings.h>

#include <cstdlib>
#include <utility>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Bytes [begin, end) of text; "" when the range is empty. (Mid treats a
// count of 0 as "to the end", which is never meant here.)
CAutoString Between(const CAutoString& text, int begin, int end) {
    if (begin < 0 || end <= begin) return CAutoString("");
    return text.Mid(begin, end - begin);
}

CAutoString TrimEnds(const CAutoString& text) {
    const char* s = text.GetBuffer();
    int begin = 0;
    int end = static_cast<int>(text.GetLength());
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return Between(text, begin, end);
}

}  // namespace

CHttpData::CHttpData(bool bAutoRelease) : m_bAutoRealease(bAutoRelease) {}

CHttpData::~CHttpData() { Release(); }

void CHttpData::SetUrl(const char* url) {
    if (!url) {
        szUrl = nullptr;
        return;
    }
    m_strOwnUrl = url;
    szUrl = m_strOwnUrl.GetBuffer();
}

void CHttpData::RespHead(char* buffer) {
    if (buffer != m_szRespHead) free(m_szRespHead);
    m_szRespHead = buffer;
}

void CHttpData::RespData(char* buffer) {
    if (buffer != m_szRespData) free(m_szRespData);
    m_szRespData = buffer;
}

char* CHttpData::DetachRespHead() { return std::exchange(m_szRespHead, nullptr); }

char* CHttpData::DetachRespData() { return std::exchange(m_szRespData, nullptr); }

void CHttpData::Release() {
    free(std::exchange(m_szRespHead, nullptr));
    free(std::exchange(m_szRespData, nullptr));
}

CAutoString CHttpData::GetHeadAttri(CAutoString name) const {
    if (!m_szRespHead) return CAutoString("");
    // Field names are case-insensitive and stand at the start of a line:
    // "X-Error-Code" is not "Error-Code", "error-code" (HTTP/2) is.
    size_t nameLen = name.GetLength();
    if (nameLen > 0 && name.GetBuffer()[nameLen - 1] == ':') --nameLen;
    if (nameLen == 0) return CAutoString("");
    CAutoString head(m_szRespHead);
    const char* text = head.GetBuffer();
    for (int line = 0;;) {
        int lineEnd = head.Find("\r\n", line);
        if (lineEnd < 0) return CAutoString("");
        if (strncasecmp(text + line, name.GetBuffer(), nameLen) == 0 && text[line + nameLen] == ':')
            return TrimEnds(Between(head, line + static_cast<int>(nameLen) + 1, lineEnd));
        line = lineEnd + 2;
    }
}

CAutoString CHttpData::GetRedirectAddress() const {
    CAutoString target;
    if (retCode == 302 || retCode == 303) {
        target = GetLocationTarget();
    } else if (retCode == 200) {
        target = GetPageTarget();
    }
    if (target.Find("http://") < 0 && target.Find("https://") < 0) return CAutoString("");
    target.Trim();
    return target;
}

CAutoString CHttpData::GetLocationTarget() const {
    CAutoString head(RespHead());
    head.MakeLower();
    static const char kLocation[] = "location:";
    int at = head.Find(kLocation);
    if (at < 0) return CAutoString("");
    int begin = at + static_cast<int>(sizeof(kLocation) - 1);
    int lineEnd = head.Find('\n', begin);
    return lineEnd < 0 ? head.Mid(begin) : Between(head, begin, lineEnd);
}

CAutoString CHttpData::GetPageTarget() const {
    CAutoString body(RespData());
    body.MakeLower();
    int refresh = body.Find("http-equiv=\"refresh\"");
    if (refresh > 0) {
        int content = body.Find("content=", refresh);
        if (content <= 0) return CAutoString("");
        int url = body.Find("url=", content);
        if (url <= 0) return CAutoString("");
        int quote = body.Find('"', url);
        if (quote <= 0) return CAutoString("");
        return Between(body, url + 4, quote);
    }
    int headOpen = body.Find("<head>");
    if (headOpen < 0) return CAutoString("");
    int headClose = body.Find("</head>", headOpen);
    if (headClose < 0) return CAutoString("");
    CAutoString head = Between(body, headOpen + 6, headClose);
    static const char kHref[] = "location.href=\"";
    int href = head.Find(kHref);
    if (href < 0) return CAutoString("");
    int begin = href + static_cast<int>(sizeof(kHref) - 1);
    int end = head.Find("\"</script>", begin);
    if (end < 0) return CAutoString("");
    return Between(head, begin, end);
}
