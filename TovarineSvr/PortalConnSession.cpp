// The request-response exchanges with the portal server and their common
// request path.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "AuthConfig.h"
#include "CommFunc.h"
#include "CurlHttp.h"
#include "DnsBackupStore.h"
#include "HttpData.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "PortalConn.h"
#include "PortalConnUtil.h"
#include "XMLOpt.h"
#include "XmlEscape.h"

using portalconn::PortalErrorCode;
using TovarineSvr::TaskItem;

namespace {

CAutoString Now() { return CommFunc::GetLocalTime("%Y-%m-%d %H:%M:%S"); }

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...) {
    char line[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    CLog::GetInst()->WriteLog(kLogInfo, "%s", line);
}

long Signed(unsigned long errCode) { return static_cast<long>(errCode); }

}  // namespace

void CPortalConn::PrepareRequest(CHttpData& data, const char* url, const CAutoString& body,
                                 const CAutoString& head, unsigned long timeOutMs) {
    data.SetUrl(url);
    data.szVerb = "POST";
    data.szHead = head;
    data.szPostData = body;
    data.dwPostDataLen = body.GetLength();
    data.dwTimeOut = timeOutMs;
    data.bChangeCode = false;
    data.bRedirect = false;
    // An Error-Code 200 answer carries a whole module file.
    data.dwMaxRespLen = CHttpData::kMaxModuleRespLen;
}

int CPortalConn::SendPortalRequest(TaskItem verb, CHttpData& data, const char* url, const CAutoString& body,
                                   unsigned long timeOutMs, unsigned long& errCode, CAutoString& subErrCode) {
    CAutoString head = m_portalParse.GetRequestHead(*m_pPortalConf, body);
    PrepareRequest(data, url, body, head, timeOutMs);
    return RequestPortalServer(verb, &data, errCode, subErrCode, 2);
}

int CPortalConn::RequestPortalServer(TaskItem verb, CHttpData* pData, unsigned long& errCode,
                                     CAutoString& subErrCode, int httpRetry) {
    if (httpRetry < 1) httpRetry = 1;
    int failedUpdates = 0;
    for (;;) {
        int result = CCurlHttp::Perform(pData);
        if (result >= 500 && result <= 599) return ServerDown(pData->szUrl, result);
        if (result != 0) {
            errCode = static_cast<unsigned long>(static_cast<long>(result));
            if (--httpRetry <= 0) return kResultFailed;
            Log("request %d return err %d,retry", static_cast<int>(verb), result);
            pData->Release();
            continue;
        }
        if (CPortalDetector::IsIntercepted(pData)) {
            Log("request %s redirect", pData->szUrl ? pData->szUrl : "");
            if (verb == TovarineSvr::pluse) {
                NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, kCodeHeartbeatFailed, "");
                m_pHost->DisConnect("4");
            } else {
                m_pHost->ChangeToUnknowEnv();
            }
            return kResultRedirected;
        }
        int code = GetErrorCode(*pData, subErrCode);
        errCode = static_cast<unsigned long>(static_cast<long>(code));
        if (code == kPortalOk) return kResultDone;
        if (code == kPortalNewModule) {
            // Code to be run comes only from an answer the portal server marked as its own.
            bool genuine = !pData->GetHeadAttri("Server-Tag").IsEmpty();
            if (genuine && UpdateAlgoid(pData) == 1) {
                Log("update algoid success");
                NetStateChange(ES_PRECONNECTING, ES_PRECONNECTING, kCodeModuleUpdated, "");
                return kResultRunAgain;
            }
            Log("update algoid fail");
            if (++failedUpdates < 2) {
                pData->Release();
                continue;
            }
            Log("update algoid fail time is %d", failedUpdates);
            if (verb == TovarineSvr::auth || verb == TovarineSvr::term)
                NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, kCodeModuleUpdateFailed, "");
            else
                NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeModuleUpdateFailed, "");
            return kResultUpdateFailed;
        }
        if (code == kPortalVersionLimit) {
            Log("version limit");
            NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeVersionRefused, subErrCode);
            return kResultUpdateFailed;
        }
        return kResultRefused;
    }
}

int CPortalConn::_RequestTicket() {
    Log("CPortalConn::_RequestTicket");
    NetStateChange(ES_PRECONNECTING, ES_PRECONNECTING, kCodeTicketStarted, "");
    CAuthConfig& conf = *m_pPortalConf;
    if (conf.strTickUrl.IsEmpty()) {
        RequestConfig(0);
        if (conf.strTickUrl.IsEmpty()) {
            Log("CPortalConn::ticketUrl is NULL");
            NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeNoTicketUrl, "");
            return kResultFailed;
        }
    }

    NetStateChange(ES_PRECONNECTING, ES_PRECONNECTING, kCodeTicketStarted, "");
    SHostAddress address;
    int found = m_pHost->GetIpAndMac(address);
    UseAddress(address);
    Log("ip4 is %s", address.ip4.GetBuffer());
    if (found != 1) {
        NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeNoAddress, "");
        return kResultNoAddress;
    }
    NetStateChange(ES_PRECONNECTING, ES_PRECONNECTING, kCodeAddressesFound, "");
    CAutoString body =
        m_portalParse.MakeTickRequestData(conf.hostName, conf.strUserAgent, conf.strClientId, address.ip4,
                                          address.ip6, address.mac, Now(), conf.ostag);
    if (body.IsEmpty()) {
        NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeTicketBodyFailed, "");
        return kResultNoTicketBody;
    }

    CHttpData data;
    unsigned long errCode = 0;
    CAutoString subErr("");
    int ret = SendPortalRequest(TovarineSvr::reqTicket, data, conf.strTickUrl, body, 10000, errCode, subErr);
    switch (ret) {
        case kResultDone:
            break;
        case kResultRunAgain:
            return kResultRunAgain;
        case kResultFailed:
            if (GetNewServerIP(conf.strTickUrl)) return kResultSwitchedServer;
            Log("ticket http err is :%d", static_cast<int>(Signed(errCode)));
            PostError(ES_PRECONNECTFAIL, kCodeTicketHttpError, Signed(errCode), 1);
            return kResultFailed;
        case kResultRedirected:
            NetStateChange(ES_CONNECTED, ES_DISCONNECTFAIL, kCodeRedirected, "");
            return kResultRedirected;
        case kResultRefused:
            NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, PortalErrorCode(errCode), subErr);
            return kResultFailed;
        default:
            return kResultFailed;
    }

    CAutoString ticket("");
    int expire = conf.expire;
    // An answer without a ticket is no ticket: the client could not log in with it.
    if (m_portalParse.ParserTickResponse(data.RespData(), ticket, expire) != 0 || ticket.IsEmpty()) {
        NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeTicketUnparsed, "");
        return kResultTicketUnparsed;
    }
    conf.strTicket = ticket;
    conf.expire = expire;
    m_pInfoCenter->SetGlobalValue("ticket", ticket);
    return kResultDone;
}

int CPortalConn::RequestTicket() {
    int ret = _RequestTicket();
    if (ret != kResultDone) return ret;
    CAuthConfig& conf = *m_pPortalConf;
    m_pInfoCenter->SetLocalValue("ticket", conf.strTicket);
    Log("ticket is %s", conf.strTicket.GetBuffer());
    NetStateChange(ES_PRECONNECTING, ES_PRECONNECTED, kCodeNone, "");
    CAutoString ticket = XmlEscape(conf.strTicket);
    CAutoString host = XmlEscape(conf.hostName);
    CAutoString param("");
    param.Format("<ticket>%s</ticket><hostname>%s</hostname><qr>vxra://%s@%s</qr>", ticket.GetBuffer(),
                 host.GetBuffer(), ticket.GetBuffer(), host.GetBuffer());
    m_pHost->PostMsg("Portal", "TicketResp", param);
    return ret;
}

int CPortalConn::Connect(const char* pXmlStr) {
    Log("portal connect start");
    CXMLOpt message;
    if (!pXmlStr || !message.SetDoc(pXmlStr)) return kResultFailed;
    CAuthConfig& conf = *m_pPortalConf;
    conf.userName = message.GetValue("P.user");
    conf.password = message.GetValue("P.password");
    AccountTran();
    Log("CPortalConn::ConnectThread");
    NetStateChange(ES_NONE, ES_CONNECTING, kCodeNone, "");
    Log("account is %s", conf.userName.GetBuffer());

    CAutoString body = m_portalParse.MakeAuthRequestData(conf.strUserAgent, conf.strClientId, conf.userName,
                                                         conf.password, conf.strTicket, Now());
    Log("authUrl is :%s", conf.strAuthUrl.GetBuffer());
    CHttpData data;
    unsigned long errCode = 0;
    CAutoString subErr("");
    int ret = SendPortalRequest(TovarineSvr::auth, data, conf.strAuthUrl, body, 15000, errCode, subErr);
    if (ret == kResultRunAgain) return kResultRunAgain;
    if (ret == kResultFailed) {
        Log("auth http err is :%d", static_cast<int>(Signed(errCode)));
        PostError(ES_CONNECTFAIL, kCodeLoginHttpError, Signed(errCode), 1);
        return kResultFailed;
    }
    if (ret == kResultRedirected) {
        NetStateChange(ES_PRECONNECTING, ES_CONNECTFAIL, kCodeRedirected, "");
        return kResultRedirected;
    }
    if (ret == kResultRefused && Signed(errCode) == kPortalAccountLimited) {
        Log("auth resopnse err is 105");
        Log("%s", data.RespHead());
        CAutoString lastLogin = data.GetHeadAttri("Last-Login");
        if (!lastLogin.IsEmpty()) {
            m_reporter.SetState(ES_CONNECTFAIL);
            m_reporter.PostExtended(ES_CONNECTING, ES_CONNECTFAIL, kCodeLastLogin, "ConnError", lastLogin);
        } else {
            int at = conf.userName.Find('@');
            CAutoString account = at >= 0 ? conf.userName.Left(at) : conf.userName;
            if (!::IsTelNum(account)) {
                Log("请使用手机号码作为宽带登录账号");
                NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, kCodeAccountNotMobile, "");
            } else {
                NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, kCodeMobileAccountRefused, subErr);
            }
        }
        return kResultFailed;
    }
    if (ret == kResultRefused) {
        if (Signed(errCode) != kPortalNotOnline)
            NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, PortalErrorCode(errCode), subErr);
        return kResultFailed;
    }
    if (ret != kResultDone) return kResultFailed;

    CAutoString account(conf.userName.GetBuffer());
    int retry = conf.iKeepRetry;
    CAutoString keepUrl(conf.strKeepUrl.GetBuffer()), termUrl(conf.strTermUrl.GetBuffer());
    CAutoString userConfig(""), domainConfig("");
    if (m_portalParse.ParserAuthResponse(data.RespData(), account, retry, keepUrl, termUrl, userConfig,
                                         domainConfig) != 0) {
        NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, kCodeLoginUnparsed, "");
        return kResultFailed;
    }
    SaveAuthResponse(account, retry, keepUrl, termUrl, userConfig, domainConfig);
    int dns = conf.m_strDNS.IsEmpty() ? 0 : SetDNS(conf.m_strDNS);
    if (dns == EACCES || dns == kDnsBackupNotSaved) {
        NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, kCodeDnsNotApplied, "");
        return kResultFailed;
    }
    m_keepRetry = retry < INT_MAX ? retry + 1 : INT_MAX;
    m_ConnnectType = 1;
    NetStateChange(ES_CONNECTING, ES_CONNECTED, kCodeDone, "");
    return kResultDone;
}

void CPortalConn::AccountTran() {
    CAuthConfig& conf = *m_pPortalConf;
    conf.userName.Trim();
    int at = conf.userName.Find('@');
    if (conf.m_strAcountType == "add-domain") {
        const CAutoString& suffix = conf.m_strAcountValue.IsEmpty() ? conf.domain : conf.m_strAcountValue;
        // Without any domain to add, "alice@" would only spoil the account.
        if (suffix.IsEmpty()) return;
        CAutoString account = at >= 0 ? conf.userName.Left(at + 1) : conf.userName;
        if (at < 0) account += "@";
        account += suffix;
        conf.userName = account;
    } else if (conf.m_strAcountType == "del-domain") {
        if (at >= 0) conf.userName = conf.userName.Left(at);
    }
}

void CPortalConn::SaveAuthResponse(CAutoString& userName, int& retry, CAutoString& strKeepUrl,
                                   CAutoString& strTermUrl, CAutoString& strUserConfig,
                                   const CAutoString& strDomainConfig) {
    CAuthConfig& conf = *m_pPortalConf;
    conf.userName = userName;
    conf.strKeepUrl = strKeepUrl;
    conf.strTermUrl = strTermUrl;
    // The portal's count is only trusted so far: a huge one would keep a dead
    // session "connected" for ever.
    retry = ClampKeepRetry(retry);
    conf.iKeepRetry = retry;
    conf.againstList = CAutoString(strUserConfig.GetBuffer());
    conf.checkWifiInterval = static_cast<unsigned long>(CPortalParser::GetCheckWifiShareTime(strUserConfig));
    conf.logoutDelay = static_cast<unsigned long>(CPortalParser::GetCheckWifiLogoutTime(strUserConfig));
    conf.m_strDNS = CAutoString(strDomainConfig.GetBuffer());

    m_pInfoCenter->SetLocalValue("termUrl", conf.strTermUrl);
    m_pInfoCenter->SetLocalValue("keepUrl", conf.strKeepUrl);
    m_pInfoCenter->SetLocalValue("keepRetry", portalconn::Decimal(retry));
    conf.againstList.Replace("\r\n", "");
    m_pInfoCenter->SetValue("againstList", conf.againstList);

    CAutoString param("");
    param.Format("<key>DialAccount</key><value>%s</value>", XmlEscape(conf.userName).GetBuffer());
    m_pHost->PostMsg("Portal", "SetValue", param);
}

int CPortalConn::CheckConnectState(int /*bPostErr*/) {
    Log("Portal check state");
    std::lock_guard<std::mutex> guard(m_stateLock);
    CAuthConfig& conf = *m_pPortalConf;
    if (conf.strTicket.IsEmpty() || conf.strStateUrl.IsEmpty() || conf.strClientId.IsEmpty()) {
        Log("Portal state url is %s", conf.strStateUrl.GetBuffer());
        return kResultFailed;
    }
    CAutoString body =
        m_portalParse.MakeStateRequestData(conf.strUserAgent, conf.strClientId, conf.strTicket, Now());
    CHttpData data;
    unsigned long errCode = 0;
    CAutoString subErr("");
    int ret = SendPortalRequest(TovarineSvr::reqState, data, conf.strStateUrl, body, 10000, errCode, subErr);
    long code = Signed(errCode);
    if (ret == kResultRunAgain) return kResultRunAgain;
    if (ret == kResultDone) {
        CAutoString account(conf.userName.GetBuffer());
        int retry = conf.iKeepRetry;
        CAutoString keepUrl(conf.strKeepUrl.GetBuffer()), termUrl(conf.strTermUrl.GetBuffer());
        CAutoString userConfig(""), domainConfig("");
        if (m_portalParse.ParserAuthResponse(data.RespData(), account, retry, keepUrl, termUrl, userConfig,
                                             domainConfig) == 0) {
            SaveAuthResponse(account, retry, keepUrl, termUrl, userConfig, domainConfig);
            if (!conf.m_strDNS.IsEmpty()) SetDNS(conf.m_strDNS);
        }
        NetStateChange(ES_CONNECTING, ES_CONNECTED, kCodeDone, "");
        return kResultDone;
    }
    if (ret == kResultRefused) {
        if (code == kPortalNotLoggedIn || code == kPortalNotLoggedInYet) return kResultNothing;
        if (code == kPortalNotOnline && m_reporter.State() == ES_CONNECTED) {
            NetStateChange(ES_CONNECTED, ES_CONNECTFAIL, kCodeStateQueryEnded, "");
            return kResultSessionEnded;
        }
        Log("state http -14 err is :%d,errCode is %d", ret, static_cast<int>(code));
        return kResultRefused;
    }
    if (ret == kResultUpdateFailed) {
        Log("state http -2 err is :%d,errCode is %d", ret, static_cast<int>(code));
        return kResultFailed;
    }
    Log("state http err is :%d,errCode is %d", ret, static_cast<int>(code));
    return kResultNothing;
}

int CPortalConn::KeepPluse() {
    CAuthConfig& conf = *m_pPortalConf;
    if (conf.strKeepUrl.IsEmpty()) {
        Log("Keep url is empty");
        return kResultFailed;
    }
    SHostAddress address;
    m_pHost->GetIpAndMac(address);
    conf.m_afType = address.family;
    CAutoString body =
        m_portalParse.MakeKeepRequestData(conf.strUserAgent, conf.strClientId, conf.strTicket, address.ip4,
                                          address.ip6, address.mac, Now(), nullptr, conf.checkResult);
    CHttpData data;
    unsigned long errCode = 0;
    CAutoString subErr("");
    int ret = SendPortalRequest(TovarineSvr::pluse, data, conf.strKeepUrl, body, 10000, errCode, subErr);
    if (ret == kResultRunAgain) return kResultRunAgain;
    if (ret == kResultUpdateFailed) return kResultFailed;
    if (ret == kResultRefused && Signed(errCode) == kPortalNotOnline) {
        Log("KeepPluseThread err ret is %d, code is %d", ret, static_cast<int>(kPortalNotOnline));
        NetStateChange(ES_CONNECTED, ES_DISCONNECTED, kCodeSessionEnded, "");
        return kResultSessionEnded;
    }
    if (ret != kResultDone) {
        if (m_keepRetry > 0) {
            --m_keepRetry;
            return kResultNothing;
        }
        if (ret == kResultRefused)
            NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, PortalErrorCode(errCode), subErr);
        if (ret == kResultFailed) NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, kCodeHeartbeatFailed, "");
        return kResultFailed;
    }
    int interval = conf.iInterval, level = conf.iKeepLevel;
    if (m_portalParse.ParserKeepResponse(data.RespData(), interval, level) != 0) return kResultNothing;
    conf.iInterval = interval;
    conf.iKeepLevel = level;
    if (conf.fileIntervalFlag == 1) conf.iInterval = conf.fileInterval;
    m_keepRetry = conf.iKeepRetry;
    return kResultDone;
}

int CPortalConn::DisConnect(const char* pSrc) {
    const char* source = pSrc ? pSrc : "";
    Log("DisConnect For %s", source);
    if (strcmp(source, "5") == 0) {
        NetStateChange(ES_PRECONNECTING, ES_PRECONNECTING, kCodeClosingOldSession, "");
        m_reporter.SetConnectedRecord(0);
    }
    CAuthConfig& conf = *m_pPortalConf;
    CAutoString body =
        m_portalParse.MakeTermRequestData(conf.strUserAgent, conf.strClientId, conf.strTicket, Now(), source);
    Log("TermUrl is :%s", conf.strTermUrl.GetBuffer());
    CHttpData data;
    unsigned long errCode = 0;
    CAutoString subErr("");
    int ret = SendPortalRequest(TovarineSvr::term, data, conf.strTermUrl, body, 10000, errCode, subErr);
    long code = Signed(errCode);
    if (!m_pHost->IsPortalEnv()) {
        m_reporter.SetConnectedRecord(0);
        return kResultNothing;
    }
    if (ret == kResultRunAgain) return kResultRunAgain;
    if (ret == kResultFailed) {
        Log("term http err is :%d", static_cast<int>(code));
        return kResultFailed;
    }
    if (ret == kResultRedirected) {
        NetStateChange(ES_CONNECTED, ES_DISCONNECTFAIL, kCodeRedirected, "");
        return kResultRedirected;
    }
    if (ret == kResultRefused && code != kPortalSessionUnknown && code != kPortalNotOnline) {
        NetStateChange(ES_CONNECTING, ES_CONNECTFAIL, PortalErrorCode(errCode), subErr);
        return kResultFailed;
    }
    if (ret != kResultDone && ret != kResultRefused) return kResultFailed;
    if (ret == kResultRefused) Log("portal term response head err code is :%d", static_cast<int>(code));

    m_reporter.SetConnectedRecord(0);
    if (!conf.m_strDNS.IsEmpty()) m_pHost->SetDNS(m_strDNS1, m_strDNS2);
    NetStateChange(ES_DISCONNECTING, ES_DISCONNECTED, kCodeDone, "");
    return kResultDone;
}

void CPortalConn::Destroy() {
    if (GetConnCfg() == 1) DisConnect("7");
}

int CPortalConn::TerminalRequestData(CAutoString& pXml) {
    Log("TerminalRequestData http start");
    CAuthConfig& conf = *m_pPortalConf;
    for (int repeats = 0; repeats <= kMaxRepeats; ++repeats) {
        CAutoString body = m_portalParse.MakeTerminalRequestData(conf.strUserAgent, conf.strClientId, Now());
        Log("terminal Http URL is :%s", conf.strQueryUrl.GetBuffer());
        CHttpData data;
        unsigned long errCode = 0;
        CAutoString subErr("");
        int ret =
            SendPortalRequest(TovarineSvr::terminal, data, conf.strQueryUrl, body, 15000, errCode, subErr);
        if (ret == kResultRunAgain) continue;
        if (ret != kResultDone) return kResultNothing;
        return CPortalParser::ReadTerminalAnswer(m_portalParse.DecodePostResponseData(data.RespData()), pXml);
    }
    return kResultNothing;
}

int CPortalConn::TerminalTermRequest(CAutoString ticket) {
    Log("TerminalTermRequest DisConnect For 8");
    CAuthConfig& conf = *m_pPortalConf;
    for (int repeats = 0; repeats <= kMaxRepeats; ++repeats) {
        CAutoString body =
            m_portalParse.MakeTermRequestData(conf.strUserAgent, conf.strClientId, ticket, Now(), "8");
        CHttpData data;
        unsigned long errCode = 0;
        CAutoString subErr("");
        int ret =
            SendPortalRequest(TovarineSvr::terminalTerm, data, conf.strTermUrl, body, 10000, errCode, subErr);
        Log("TerminalTermRequest TermUrl is :%s return code:%d", conf.strTermUrl.GetBuffer(), ret);
        if (ret != kResultRunAgain) return ret;
    }
    return kResultFailed;
}
