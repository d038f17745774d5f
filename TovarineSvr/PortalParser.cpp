#include "PortalParser.h"

#include <strings.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "AuthConfig.h"
#include "CharsetConv.h"
#include "HttpData.h"
#include "Log.h"
#include "Markup.h"
#include "Md5.h"
#include "ZsmHelper.h"

const char CPortalParser::kConfigBegin[] = "<!--//config.velnor-portal.net";
const char CPortalParser::kConfigEnd[] = "//config.velnor-portal.net-->";

namespace {

const char kRequestSkeleton[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request></request>";

// Leading decimal digits (after blanks), clamped to INT_MAX; 0 when none.
int LeadingNumber(const char* text) {
    if (!text) return 0;
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

// The text between open and close tags found in order, or false.
bool TextBetween(const CAutoString& text, const char* open, const char* close, CAutoString& between) {
    int start = text.Find(open);
    if (start < 0) return false;
    start += static_cast<int>(strlen(open));
    int end = text.Find(close, start);
    if (end < 0) return false;
    between = CAutoString(text.GetBuffer() + start, static_cast<size_t>(end - start));
    return true;
}

// Moves to the next child named name after the child position; copies its
// text (or markup) only when it is found.
bool ReadChild(CMarkup& doc, const char* name, CAutoString& out, bool markup = false) {
    if (!doc.FindChildElem(name)) return false;
    out = markup ? doc.GetChildSubDoc() : doc.GetChildData();
    return true;
}

bool ReadChildNumber(CMarkup& doc, const char* name, int& out) {
    CAutoString text;
    if (!ReadChild(doc, name, text)) return false;
    out = LeadingNumber(text);
    return true;
}

// From the first child of the root again.
void RestartChildren(CMarkup& doc) {
    doc.ResetPos();
    doc.FindElem();
}

// Whether the child element's start tag carries the attribute: an empty
// value is a value, an absent attribute is not.
bool ChildHasAttrib(CMarkup& doc, const char* name) {
    if (!doc.GetChildAttrib(name).IsEmpty()) return true;
    CAutoString markup = doc.GetChildSubDoc();
    const std::string wanted = std::string(name) + "=";
    char quote = 0;
    for (const char* p = markup.GetBuffer(); *p; ++p) {
        if (quote) {
            if (*p == quote) quote = 0;
        } else if (*p == '"' || *p == '\'') {
            quote = *p;
        } else if (*p == '>') {
            break;
        } else if ((*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') &&
                   strncmp(p + 1, wanted.c_str(), wanted.size()) == 0) {
            return true;
        }
    }
    return false;
}

int AuthMethod(const CAutoString& type) {
    if (type == "cdc-http-pap") return 1;
    if (type == "cdc-mobile-qr") return 2;
    return 4;
}

void AppendHeader(std::string& head, const char* name, const char* value) {
    head += name;
    head += ':';
    // A line break inside a value would start a header of its own.
    for (const char* p = value ? value : ""; *p; ++p) {
        if (*p != '\r' && *p != '\n') head += *p;
    }
    head += "\r\n";
}

}  // namespace

CPortalParser::CPortalParser() : m_pZsm(new CZsmHelper("")) {}

CPortalParser::~CPortalParser() { Release(); }

int CPortalParser::Init() {
    std::string path;
    char cwd[PATH_MAX];
    // Without a readable working directory the relative name means the same file.
    if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/";
    path += CZsmHelper::kDefaultModule;
    return Init(path.c_str());
}

int CPortalParser::Init(const char* modulePath) {
    m_pZsm->Init(modulePath ? modulePath : "", nullptr, 0);
    return 1;
}

void CPortalParser::Release() { m_pZsm->Release(); }

CAutoString CPortalParser::BuildRequest(const std::vector<Field>& fields) {
    CMarkup doc(kRequestSkeleton);
    doc.FindElem("request");
    for (const Field& field : fields)
        doc.InsertChildElem(field.name, field.value ? field.value : "", field.flags);
    return EncodePostRequestData(doc.GetDoc());
}

CAutoString CPortalParser::MakeTickRequestData(const char* lpHostName, const char* lpUserAgent,
                                               const char* lpClientId, const char* lpIPv4, const char* lpIPv6,
                                               const char* lpMac, const char* lpLocalTime,
                                               const char* ostag) {
    return BuildRequest({{"host-name", lpHostName, MNF_WITHREFS},
                         {"user-agent", lpUserAgent, 0},
                         {"client-id", lpClientId, 0},
                         {"ipv4", lpIPv4, 0},
                         {"ipv6", lpIPv6, 0},
                         {"mac", lpMac, 0},
                         {"local-time", lpLocalTime, 0},
                         {"ostag", ostag, 0}});
}

CAutoString CPortalParser::MakeAuthRequestData(const char* lpUserAgent, const char* lpClientId,
                                               const char* lpUserId, const char* lpPassword,
                                               const char* lpTicket, const char* lpLocalTime) {
    return BuildRequest({{"user-agent", lpUserAgent, 0},
                         {"client-id", lpClientId, 0},
                         {"userid", lpUserId, MNF_WITHCDATA},
                         {"passwd", lpPassword, MNF_WITHCDATA},
                         {"ticket", lpTicket, 0},
                         {"local-time", lpLocalTime, 0}});
}

CAutoString CPortalParser::MakeKeepRequestData(const char* lpUserAgent, const char* lpClientId,
                                               const char* lpTicket, const char* ip4, const char* ip6,
                                               const char* mac, const char* lpLocalTime,
                                               const char* /*lpDetection*/, int nCheckResult) {
    std::vector<Field> fields = {{"user-agent", lpUserAgent, 0},
                                 {"client-id", lpClientId, 0},
                                 {"ticket", lpTicket, 0},
                                 {"ipv4", ip4, 0},
                                 {"ipv6", ip6, 0},
                                 {"mac", mac, 0},
                                 {"local-time", lpLocalTime, 0}};
    CAutoString shared;
    shared.Format("%d", nCheckResult);
    if (nCheckResult != 0) fields.push_back({"shared", shared, 0});
    return BuildRequest(fields);
}

CAutoString CPortalParser::MakeTermRequestData(const char* lpUserAgent, const char* lpClientId,
                                               const char* lpTicket, const char* lpLocalTime,
                                               const char* lpReason) {
    return BuildRequest({{"user-agent", lpUserAgent, 0},
                         {"client-id", lpClientId, 0},
                         {"ticket", lpTicket, 0},
                         {"local-time", lpLocalTime, 0},
                         {"reason", lpReason, 0}});
}

CAutoString CPortalParser::MakeStateRequestData(const char* lpUserAgent, const char* lpClientId,
                                                const char* lpTicket, const char* lpLocalTime) {
    return BuildRequest({{"user-agent", lpUserAgent, 0},
                         {"client-id", lpClientId, 0},
                         {"ticket", lpTicket, 0},
                         {"local-time", lpLocalTime, 0}});
}

CAutoString CPortalParser::MakeTerminalRequestData(const char* lpUserAgent, const char* lpClientId,
                                                   const char* lpLocalTime) {
    return BuildRequest(
        {{"user-agent", lpUserAgent, 0}, {"client-id", lpClientId, 0}, {"local-time", lpLocalTime, 0}});
}

bool CPortalParser::OpenAnswer(const char* text, CMarkup& doc) {
    if (!text || !*text) return false;
    return doc.SetDoc(text) && doc.FindElem("response");
}

int CPortalParser::ParserTickResponse(const char* sResponse, CAutoString& strTicket, int& expire) {
    return ReadTickAnswer(DecodePostResponseData(sResponse), strTicket, expire);
}

int CPortalParser::ParserAuthResponse(const char* sResponse, CAutoString& strAccount, int& retry,
                                      CAutoString& strKeepUrl, CAutoString& strTermUrl,
                                      CAutoString& strUserConfig, CAutoString& strDomainConfig) {
    CAutoString text = DecodePostResponseData(sResponse);
    if (!text.IsEmpty()) CLog::GetInst()->WriteLog(kLogInfo, "auth is %s ", text.GetBuffer());
    return ReadAuthAnswer(text, strAccount, retry, strKeepUrl, strTermUrl, strUserConfig, strDomainConfig);
}

int CPortalParser::ParserKeepResponse(const char* sResponse, int& interval, int& level) {
    return ReadKeepAnswer(DecodePostResponseData(sResponse), interval, level);
}

int CPortalParser::ReadTickAnswer(const char* text, CAutoString& strTicket, int& expire) {
    CMarkup doc;
    if (!OpenAnswer(text, doc)) return -1;
    ReadChild(doc, "ticket", strTicket);
    doc.ResetChildPos();
    ReadChildNumber(doc, "expire", expire);
    return 0;
}

int CPortalParser::ReadAuthAnswer(const char* text, CAutoString& strAccount, int& retry,
                                  CAutoString& strKeepUrl, CAutoString& strTermUrl,
                                  CAutoString& strUserConfig, CAutoString& strDomainConfig) {
    CMarkup doc;
    if (!OpenAnswer(text, doc)) return -1;
    ReadChild(doc, "userid", strAccount);
    doc.ResetChildPos();
    ReadChildNumber(doc, "keep-retry", retry);
    doc.ResetChildPos();
    ReadChild(doc, "keep-url", strKeepUrl);
    doc.ResetChildPos();
    ReadChild(doc, "term-url", strTermUrl);
    doc.ResetChildPos();
    ReadChild(doc, "user-config", strUserConfig, true);
    doc.ResetChildPos();
    ReadChild(doc, "domain-config", strDomainConfig, true);
    return 0;
}

int CPortalParser::ReadKeepAnswer(const char* text, int& interval, int& level) {
    CMarkup doc;
    if (!OpenAnswer(text, doc)) return -1;
    ReadChildNumber(doc, "interval", interval);
    doc.ResetChildPos();
    ReadChildNumber(doc, "level", level);
    return 0;
}

int CPortalParser::ReadTerminalAnswer(const char* text, CAutoString& strXml) {
    CAutoString decoded(text ? text : "");
    decoded.Replace("%", " ");
    int at = decoded.Find("<response>");
    if (at < 0) return 0;
    strXml = decoded.Mid(at);
    return 1;
}

CAutoString CPortalParser::EncodePostRequestData(const char* requestData) {
    char* encoded = m_pZsm->Code(requestData);
    CAutoString result(encoded);
    m_pZsm->FreeResult(encoded);
    return result;
}

CAutoString CPortalParser::DecodePostResponseData(const char* responseData) {
    char* decoded = m_pZsm->DeCode(responseData);
    if (!decoded) return CAutoString("");
    CAutoString result = FromModuleText(decoded);
    m_pZsm->FreeResult(decoded);
    return result;
}

CAutoString CPortalParser::FromModuleText(const char* decoded) {
    CAutoString result(decoded);
    std::string converted;
    CCharsetConv conv("GB18030", "UTF-8");
    // Text that is not UTF-8 after all goes on as it came.
    if (conv.Convert(result.GetBuffer(), result.GetLength(), converted) == 0) {
        result = CAutoString(converted.c_str(), converted.size());
    }
    return result;
}

int CPortalParser::CodeConvert(const char* from_charset, const char* to_charset, const char* inbuf,
                               unsigned long inlen, char* outbuf, unsigned long& outlen) {
    if (!outbuf || outlen == 0) return -1;
    memset(outbuf, 0, outlen);
    if (!from_charset || !to_charset || (!inbuf && inlen)) return -1;
    CCharsetConv conv(to_charset, from_charset);
    // One byte stays back so the result is always NUL-terminated.
    size_t left = outlen - 1;
    int rc = conv.ConvertInto(inbuf, inlen, outbuf, left);
    if (rc < 0) return -1;
    outlen = left + 1;
    return rc;
}

CAutoString CPortalParser::MakeRequestHead(const char* lpUserAgent, const char* lpClientId,
                                           const char* lpCheckSum, const char* lpSchoolId,
                                           const char* lpDomain, const char* lpArea) {
    std::string head = "Connection:close\r\n";
    AppendHeader(head, "User-Agent", lpUserAgent);
    AppendHeader(head, "Algo-ID", m_pZsm->GetAlgoId());
    AppendHeader(head, "Client-ID", lpClientId);
    AppendHeader(head, "CDC-Checksum", lpCheckSum);
    if (lpSchoolId && *lpSchoolId) AppendHeader(head, "CDC-SchoolId", lpSchoolId);
    if (lpDomain && *lpDomain) AppendHeader(head, "CDC-Domain", lpDomain);
    if (lpArea && *lpArea) AppendHeader(head, "CDC-Area", lpArea);
    return CAutoString(head.c_str(), head.size());
}

CAutoString CPortalParser::GetRequestHead(const CAuthConfig& config, const char* postData) {
    return MakeRequestHead(config.strUserAgent, config.strClientId, Md5Hex(postData).c_str(), config.schoolId,
                           config.domain, config.area);
}

int CPortalParser::UpdateAlgoid(CHttpData* pData) {
    if (!pData || !pData->HasRespData() || pData->dwDataLen == 0) return 0;
    // Update only reads the bytes; its signature is not const-correct.
    return m_pZsm->Update(const_cast<char*>(pData->RespData()), static_cast<unsigned long>(pData->dwDataLen));
}

CAutoString CPortalParser::GetAlgoId() { return CAutoString(m_pZsm->GetAlgoId()); }

int CPortalParser::ParserConfig(const char* lpConfigXml, CAuthConfig*& pAuthConfig) {
    CMarkup doc;
    if (!lpConfigXml || !doc.SetDoc(lpConfigXml) || !doc.FindElem("config")) return -1;
    if (!pAuthConfig) pAuthConfig = new CAuthConfig();
    CAuthConfig& config = *pAuthConfig;

    // Each address is looked for after the one found before it.
    ReadChild(doc, "ticket-url", config.strTickUrl);
    ReadChild(doc, "query-url", config.strQueryUrl);
    ReadChild(doc, "auth-url", config.strAuthUrl);
    ReadChild(doc, "state-url", config.strStateUrl);
    CAutoString interval;
    if (ReadChild(doc, "state-interval", interval)) {
        int seconds = LeadingNumber(interval);
        config.stateInterval = seconds > 0 ? static_cast<unsigned long>(seconds) : 5;
    }

    RestartChildren(doc);
    if (doc.FindChildElem("notify")) {
        config.m_vecRegister.clear();
        config.m_vecOption.clear();
        doc.IntoElem();
        CAutoString text;
        while (ReadChild(doc, "register", text)) config.m_vecRegister.push_back(text);
        while (ReadChild(doc, "option", text)) config.m_vecOption.push_back(text);
    }

    RestartChildren(doc);
    if (doc.FindChildElem("account")) {
        doc.IntoElem();
        if (doc.FindChildElem("modify")) {
            doc.IntoElem();
            ReadChild(doc, "type", config.m_strAcountType);
            ReadChild(doc, "value", config.m_strAcountValue);
        }
    }

    RestartChildren(doc);
    config.nAuthType = 0;
    while (doc.FindChildElem("auth")) {
        doc.IntoElem();
        CAutoString type("");
        CAutoString isDefault("");
        ReadChild(doc, "type", type);
        doc.ResetChildPos();
        ReadChild(doc, "default", isDefault);
        doc.OutOfElem();  // the auth element is the child position again
        int method = AuthMethod(type);
        config.nAuthType += method;
        if (isDefault == "1" || strcasecmp(isDefault, "yes") == 0) config.nDefaultAuth = method;
    }

    RestartChildren(doc);
    if (doc.FindChildElem("server-clusters") && ChildHasAttrib(doc, "servers")) {
        config.m_strServers = doc.GetChildAttrib("servers");
    }

    RestartChildren(doc);
    ReadChild(doc, "user-config", config.againstList, true);

    RestartChildren(doc);
    if (doc.FindChildElem("FunCfg")) {
        doc.IntoElem();
        while (doc.FindChildElem()) config.funCfg[doc.GetChildTagName()] = doc.GetChildSubDoc();
    }
    return 0;
}

int CPortalParser::GetConfigWithString(CAutoString strSrc, CAutoString& strConfig) {
    CAutoString between;
    if (!TextBetween(strSrc, kConfigBegin, kConfigEnd, between)) return 0;
    // An empty configuration is stored as well, so no stale text outlives it.
    strConfig = between;
    return between.GetLength() > INT_MAX ? INT_MAX : static_cast<int>(between.GetLength());
}

int CPortalParser::GetCheckWifiShareTime(CAutoString againstConf) {
    CAutoString value;
    if (!TextBetween(againstConf, "<against-interval>", "</against-interval>", value)) return 0;
    return LeadingNumber(value);
}

int CPortalParser::GetCheckWifiLogoutTime(CAutoString againstConf) {
    CAutoString value;
    if (!TextBetween(againstConf, "<logout-delay>", "</logout-delay>", value)) return 300;
    return LeadingNumber(value);
}
