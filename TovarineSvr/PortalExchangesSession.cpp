// The exchanges of a logged-in session: login, state query, heartbeat,
// logout and the terminal exchanges.
#include <cerrno>
#include <climits>
#include <cstring>

#include "AuthConfig.h"
#include "CommFunc.h"
#include "DnsBackupStore.h"
#include "HttpData.h"
#include "ISvrInfoCenter.h"
#include "NetStateCode.h"
#include "PortalConnUtil.h"
#include "PortalExchanges.h"
#include "PortalResult.h"
#include "PortalStateReporter.h"
#include "XMLOpt.h"
#include "XmlEscape.h"

using portalconn::Log;
using portalconn::Now;
using portalconn::PortalErrorCode;
using portalconn::Signed;

int CPortalExchanges::Connect(const char* pXmlStr) {
    Log("portal connect start");
    CXMLOpt message;
    if (!pXmlStr || !message.SetDoc(pXmlStr)) return kResultFailed;
    CAuthConfig& conf = m_conf;
    conf.userName = message.GetValue("P.user");
    conf.password = message.GetValue("P.password");
    AccountTran();
    Log("CPortalConn::ConnectThread");
    NetStateChange(INetConn::ES_NONE, INetConn::ES_CONNECTING, kCodeNone, "");
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
        m_reporter.PostHttpError(INetConn::ES_CONNECTFAIL, kCodeLoginHttpError, Signed(errCode));
        return kResultFailed;
    }
    if (ret == kResultRedirected) {
        NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_CONNECTFAIL, kCodeRedirected, "");
        return kResultRedirected;
    }
    if (ret == kResultRefused && Signed(errCode) == kPortalAccountLimited) {
        Log("auth resopnse err is 105");
        Log("%s", data.RespHead());
        CAutoString lastLogin = data.GetHeadAttri("Last-Login");
        if (!lastLogin.IsEmpty()) {
            m_reporter.SetState(INetConn::ES_CONNECTFAIL);
            m_reporter.PostExtended(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeLastLogin,
                                    "ConnError", lastLogin);
        } else {
            int at = conf.userName.Find('@');
            CAutoString account = at >= 0 ? conf.userName.Left(at) : conf.userName;
            if (!::IsTelNum(account)) {
                Log("请使用手机号码作为宽带登录账号");
                NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeAccountNotMobile, "");
            } else {
                NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeMobileAccountRefused,
                               subErr);
            }
        }
        return kResultFailed;
    }
    if (ret == kResultRefused) {
        if (Signed(errCode) != kPortalNotOnline)
            NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, PortalErrorCode(errCode),
                           subErr);
        return kResultFailed;
    }
    if (ret != kResultDone) return kResultFailed;

    CAutoString account(conf.userName.GetBuffer());
    int retry = conf.iKeepRetry;
    CAutoString keepUrl(conf.strKeepUrl.GetBuffer()), termUrl(conf.strTermUrl.GetBuffer());
    CAutoString userConfig(""), domainConfig("");
    if (m_portalParse.ParserAuthResponse(data.RespData(), account, retry, keepUrl, termUrl, userConfig,
                                         domainConfig) != 0) {
        NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeLoginUnparsed, "");
        return kResultFailed;
    }
    SaveAuthResponse(account, retry, keepUrl, termUrl, userConfig, domainConfig);
    int dns = conf.m_strDNS.IsEmpty() ? 0 : SetDNS(conf.m_strDNS);
    if (dns == EACCES || dns == kDnsBackupNotSaved) {
        NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeDnsNotApplied, "");
        return kResultFailed;
    }
    m_keepRetry = retry < INT_MAX ? retry + 1 : INT_MAX;
    NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTED, kCodeDone, "");
    return kResultDone;
}

void CPortalExchanges::AccountTran() {
    CAuthConfig& conf = m_conf;
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

void CPortalExchanges::SaveAuthResponse(CAutoString& userName, int& retry, CAutoString& strKeepUrl,
                                        CAutoString& strTermUrl, CAutoString& strUserConfig,
                                        const CAutoString& strDomainConfig) {
    CAuthConfig& conf = m_conf;
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

int CPortalExchanges::CheckConnectState(int /*bPostErr*/) {
    Log("Portal check state");
    std::lock_guard<std::mutex> guard(m_stateLock);
    CAuthConfig& conf = m_conf;
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
        NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTED, kCodeDone, "");
        return kResultDone;
    }
    if (ret == kResultRefused) {
        if (code == kPortalNotLoggedIn || code == kPortalNotLoggedInYet) return kResultNothing;
        if (code == kPortalNotOnline && m_reporter.State() == INetConn::ES_CONNECTED) {
            NetStateChange(INetConn::ES_CONNECTED, INetConn::ES_CONNECTFAIL, kCodeStateQueryEnded, "");
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

int CPortalExchanges::KeepPluse() {
    CAuthConfig& conf = m_conf;
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
        NetStateChange(INetConn::ES_CONNECTED, INetConn::ES_DISCONNECTED, kCodeSessionEnded, "");
        return kResultSessionEnded;
    }
    if (ret != kResultDone) {
        if (m_keepRetry > 0) {
            --m_keepRetry;
            return kResultNothing;
        }
        if (ret == kResultRefused)
            NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, PortalErrorCode(errCode),
                           subErr);
        if (ret == kResultFailed)
            NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeHeartbeatFailed, "");
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

int CPortalExchanges::DisConnect(const char* pSrc) {
    const char* source = pSrc ? pSrc : "";
    Log("DisConnect For %s", source);
    if (strcmp(source, "5") == 0) {
        NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTING, kCodeClosingOldSession, "");
        m_reporter.SetConnectedRecord(0);
    }
    CAuthConfig& conf = m_conf;
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
        NetStateChange(INetConn::ES_CONNECTED, INetConn::ES_DISCONNECTFAIL, kCodeRedirected, "");
        return kResultRedirected;
    }
    if (ret == kResultRefused && code != kPortalSessionUnknown && code != kPortalNotOnline) {
        NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, PortalErrorCode(errCode), subErr);
        return kResultFailed;
    }
    if (ret != kResultDone && ret != kResultRefused) return kResultFailed;
    if (ret == kResultRefused) Log("portal term response head err code is :%d", static_cast<int>(code));

    m_reporter.SetConnectedRecord(0);
    if (!conf.m_strDNS.IsEmpty()) m_pHost->SetDNS(m_strDNS1, m_strDNS2);
    NetStateChange(INetConn::ES_DISCONNECTING, INetConn::ES_DISCONNECTED, kCodeDone, "");
    return kResultDone;
}

int CPortalExchanges::TerminalRequestData(CAutoString& pXml) {
    Log("TerminalRequestData http start");
    CAuthConfig& conf = m_conf;
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

int CPortalExchanges::TerminalTermRequest(CAutoString ticket) {
    Log("TerminalTermRequest DisConnect For 8");
    CAuthConfig& conf = m_conf;
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
