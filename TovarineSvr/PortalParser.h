// CPortalParser: the portal request codec. Builds every request body (XML,
// encoded by the algorithm module), the header block, and reads every answer
// (decoded by the module); also parses the portal's configuration document.
// Used on the portal work thread only; the static helpers are pure and may be
// called from any thread. The parser owns its module loader; the caller owns
// every text and record it passes in.
#pragma once

#include <memory>
#include <vector>

#include "AutoString.h"

struct CAuthConfig;
class CHttpData;
class CMarkup;
class CZsmHelper;

class CPortalParser {
public:
    CPortalParser();
    ~CPortalParser();
    CPortalParser(const CPortalParser&) = delete;
    CPortalParser& operator=(const CPortalParser&) = delete;

    // Registers the working directory's "zxmAlogic.zxm"; returns 1.
    int Init();
    // The same with another module file (tests).
    int Init(const char* modulePath);
    void Release();

    // Builders: each returns the encoded body.
    CAutoString MakeTickRequestData(const char* lpHostName, const char* lpUserAgent, const char* lpClientId,
                                    const char* lpIPv4, const char* lpIPv6, const char* lpMac,
                                    const char* lpLocalTime, const char* ostag);
    CAutoString MakeAuthRequestData(const char* lpUserAgent, const char* lpClientId, const char* lpUserId,
                                    const char* lpPassword, const char* lpTicket, const char* lpLocalTime);
    CAutoString MakeKeepRequestData(const char* lpUserAgent, const char* lpClientId, const char* lpTicket,
                                    const char* ip4, const char* ip6, const char* mac,
                                    const char* lpLocalTime, const char* lpDetection, int nCheckResult);
    CAutoString MakeTermRequestData(const char* lpUserAgent, const char* lpClientId, const char* lpTicket,
                                    const char* lpLocalTime, const char* lpReason);
    CAutoString MakeStateRequestData(const char* lpUserAgent, const char* lpClientId, const char* lpTicket,
                                     const char* lpLocalTime);
    CAutoString MakeTerminalRequestData(const char* lpUserAgent, const char* lpClientId,
                                        const char* lpLocalTime);

    // Readers take the raw (encoded) answer; 0, or -1 when the decoded text is
    // not a document with a "response" root. Absent children leave outputs.
    int ParserTickResponse(const char* sResponse, CAutoString& strTicket, int& expire);
    int ParserAuthResponse(const char* sResponse, CAutoString& strAccount, int& retry,
                           CAutoString& strKeepUrl, CAutoString& strTermUrl, CAutoString& strUserConfig,
                           CAutoString& strDomainConfig);
    int ParserKeepResponse(const char* sResponse, int& interval, int& level);
    // The same readers on an answer already decoded.
    static int ReadTickAnswer(const char* text, CAutoString& strTicket, int& expire);
    static int ReadAuthAnswer(const char* text, CAutoString& strAccount, int& retry, CAutoString& strKeepUrl,
                              CAutoString& strTermUrl, CAutoString& strUserConfig,
                              CAutoString& strDomainConfig);
    static int ReadKeepAnswer(const char* text, int& interval, int& level);
    // The terminal list: 1 and the text from "<response>" on ("%" made
    // blank), 0 when there is none.
    static int ReadTerminalAnswer(const char* text, CAutoString& strXml);

    CAutoString EncodePostRequestData(const char* requestData);
    // Decoded and converted from UTF-8 to GB18030; empty when decoding fails.
    CAutoString DecodePostResponseData(const char* responseData);
    // The module's decoded text converted from UTF-8 to GB18030; text that
    // is not UTF-8 goes on as it came.
    static CAutoString FromModuleText(const char* decoded);
    static int CodeConvert(const char* from_charset, const char* to_charset, const char* inbuf,
                           unsigned long inlen, char* outbuf, unsigned long& outlen);
    // Header lines "Name:value\r\n"; CR and LF inside a value are dropped.
    CAutoString MakeRequestHead(const char* lpUserAgent, const char* lpClientId, const char* lpCheckSum,
                                const char* lpSchoolId, const char* lpDomain, const char* lpArea);
    // MakeRequestHead with the configuration's user agent, client id, portal
    // parameters and the checksum (Md5Hex, Md5.h) of the encoded body.
    CAutoString GetRequestHead(const CAuthConfig& config, const char* postData);
    // Installs the module carried by an Error-Code 200 answer: 1, -1, or 0
    // when there is no body.
    int UpdateAlgoid(CHttpData* pData);
    CAutoString GetAlgoId();

    // Configuration document: 0, or -1 when not well-formed / no "config".
    // A null pAuthConfig gets a fresh record (the caller owns it).
    int ParserConfig(const char* lpConfigXml, CAuthConfig*& pAuthConfig);
    // Length of the text between the configuration markers, 0 when absent.
    static int GetConfigWithString(CAutoString strSrc, CAutoString& strConfig);
    static int GetCheckWifiShareTime(CAutoString againstConf);
    static int GetCheckWifiLogoutTime(CAutoString againstConf);

    static const char kConfigBegin[];  // "<!--//config.velnor-portal.net"
    static const char kConfigEnd[];    // "//config.velnor-portal.net-->"

private:
    struct Field {
        const char* name;
        const char* value;
        int flags;
    };
    // Inserts the fields in the given order, each in front of the one before.
    CAutoString BuildRequest(const std::vector<Field>& fields);
    // False unless the decoded text is a document under "response".
    static bool OpenAnswer(const char* text, CMarkup& doc);

    std::unique_ptr<CZsmHelper> m_pZsm;
};
