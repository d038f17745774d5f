// The exchanges' common request path, the configuration request and the
// ticket.
#include "PortalExchanges.h"

#include <climits>
#include <cstring>

#include "AuthConfig.h"
#include "CurlHttp.h"
#include "HttpData.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "Markup.h"
#include "NetStateCode.h"
#include "PortalCluster.h"
#include "PortalConnUtil.h"
#include "PortalDetector.h"
#include "PortalResult.h"
#include "PortalStateReporter.h"
#include "XmlEscape.h"

using portalconn::Decimal;
using portalconn::Log;
using portalconn::Now;
using portalconn::PortalErrorCode;
using portalconn::Signed;
using TovarineSvr::TaskItem;

CPortalExchanges::CPortalExchanges(IPortalHost* host, ISvrInfoCenter* infoCenter,
                                   CPortalStateReporter& reporter, CPortalCluster& cluster,
                                   CPortalDetector& detector, CAuthConfig& conf)
    : m_pHost(host),
      m_pInfoCenter(infoCenter),
      m_reporter(reporter),
      m_cluster(cluster),
      m_detector(detector),
      m_conf(conf) {}

void CPortalExchanges::NetStateChange(INetConn::ESTATE eStateOld, INetConn::ESTATE eStateNew, int iErrorcode,
                                      CAutoString subErrCode) {
    m_reporter.Change(eStateOld, eStateNew, iErrorcode, subErrCode);
}

int CPortalExchanges::GetErrorCode(CHttpData& httpData, CAutoString& subErrCode) {
    subErrCode = httpData.GetHeadAttri("Sub-Error");
    if (subErrCode.IsNull()) subErrCode = CAutoString("");
    CAutoString code = httpData.GetHeadAttri("Error-Code");
    // Only a whole decimal number is a code: "E1" or "-0" read as 0 would
    // turn a refusal into success, so they count as no header at all.
    const char* text = code.GetBuffer();
    if (code.IsEmpty() || strspn(text, "0123456789") != code.GetLength()) return kPortalNoHeader;
    long value = strtol(text, nullptr, 10);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void CPortalExchanges::SendData(const char* key, const char* value) {
    if (!key || !value || !*value) return;
    m_pInfoCenter->SetGlobalValue(key, value);
    CAutoString param("");
    param.Format("<key>%s</key><value>%s</value>", XmlEscape(key).GetBuffer(), XmlEscape(value).GetBuffer());
    m_pHost->PostMsg("Portal", "InfoCenter", param);
}

int CPortalExchanges::RequestConfig(int /*bPostErr*/) {
    CLog::GetInst()->WriteLog(kLogInfo, "CPortalConn::RequestConfig");
    int env = m_detector.Detect(m_conf);
    if (env == kResultNothing) return kResultNothing;
    if (env == kResultFailed) {
        NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeNoProbeUrl, "");
        return kResultFailed;
    }
    if (env != kResultDone) return kResultFailed;
    if (!m_cluster.MayRequest()) {
        NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeServerDown, "");
        return kResultFailed;
    }

    CAuthConfig* conf = &m_conf;
    if (m_portalParse.ParserConfig(m_detector.ConfigXml(), conf) != 0) return kResultFailed;

    SendData("authType", Decimal(conf->nAuthType));
    m_pInfoCenter->SetGlobalValue("wlanuserip", conf->wlanuserip);
    m_pInfoCenter->SetGlobalValue("wlanusermac", conf->wlanusermac);
    SendData("authDefautType", Decimal(conf->nDefaultAuth));
    m_pInfoCenter->SetGlobalValue("wlanacip", conf->wlancip);
    SendData("schoolId", conf->schoolId);
    SendData("domain", conf->domain);
    SendData("area", conf->area);
    // The markup travels as text: SendData escapes it once, "&" included.
    for (const auto& entry : conf->funCfg) {
        CAutoString key("FUN_");
        key += entry.first;
        SendData(key, entry.second);
    }
    m_pInfoCenter->SetLocalValue("tickUrl", conf->strTickUrl);
    m_pInfoCenter->SetLocalValue("stateUrl", conf->strStateUrl);
    m_pInfoCenter->SetLocalValue("defaultAuth", Decimal(conf->nDefaultAuth));
    SendData("version", conf->version);
    SendData("clientId", m_pInfoCenter->GetLocalValue("clientId"));
    m_cluster.Publish(conf->m_afType, conf->m_strServers);

    m_reporter.SetConnectedRecord(0);
    return kResultDone;
}

void CPortalExchanges::UseAddress(const SHostAddress& address) {
    CAuthConfig& conf = m_conf;
    conf.m_afType = address.family;
    // A failed lookup chooses no family and leaves the last addresses as they were.
    if (address.family == kFamilyNone) return;
    conf.ip4 = address.ip4;
    conf.ip6 = address.ip6;
    conf.mac = address.mac;
}

int CPortalExchanges::GetNewServerIP(CAutoString& url) {
    const CAuthConfig& conf = m_conf;
    return m_cluster.NextServer(url, conf.m_afType, conf.ip4, conf.ip6) ? 1 : 0;
}

int CPortalExchanges::ServerDown(const char* url, int result) {
    CLog::GetInst()->WriteLog(kLogInfo, "request url %s return server err %d", url ? url : "", result);
    NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, m_cluster.MarkDown(), "");
    return kResultServerDown;
}

int CPortalExchanges::UpdateAlgoid(CHttpData* pData) {
    NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTING, kCodeModuleUpdating, "");
    return m_portalParse.UpdateAlgoid(pData);
}

int CPortalExchanges::SetDNS(CAutoString& strDomainConfig) {
    if (strDomainConfig.IsEmpty()) return -1;
    CMarkup doc;
    if (!doc.SetDoc(strDomainConfig) || !doc.FindElem("domain-config")) return -1;
    if (doc.FindChildElem("dns1")) m_strDNS1 = doc.GetChildData();
    doc.ResetChildPos();
    if (doc.FindChildElem("dns2")) m_strDNS2 = doc.GetChildData();
    if (m_strDNS1.IsEmpty() && m_strDNS2.IsEmpty()) return -1;
    return m_pHost->SetDNS(m_strDNS1, m_strDNS2);
}

void CPortalExchanges::PrepareRequest(CHttpData& data, const char* url, const CAutoString& body,
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

int CPortalExchanges::SendPortalRequest(TaskItem verb, CHttpData& data, const char* url,
                                        const CAutoString& body, unsigned long timeOutMs,
                                        unsigned long& errCode, CAutoString& subErrCode) {
    CAutoString head = m_portalParse.GetRequestHead(m_conf, body);
    PrepareRequest(data, url, body, head, timeOutMs);
    return RequestPortalServer(verb, &data, errCode, subErrCode, 2);
}

int CPortalExchanges::RequestPortalServer(TaskItem verb, CHttpData* pData, unsigned long& errCode,
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
                NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeHeartbeatFailed, "");
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
                NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTING, kCodeModuleUpdated,
                               "");
                return kResultRunAgain;
            }
            Log("update algoid fail");
            if (++failedUpdates < 2) {
                pData->Release();
                continue;
            }
            Log("update algoid fail time is %d", failedUpdates);
            if (verb == TovarineSvr::auth || verb == TovarineSvr::term)
                NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL, kCodeModuleUpdateFailed,
                               "");
            else
                NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL,
                               kCodeModuleUpdateFailed, "");
            return kResultUpdateFailed;
        }
        if (code == kPortalVersionLimit) {
            Log("version limit");
            NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeVersionRefused,
                           subErrCode);
            return kResultUpdateFailed;
        }
        return kResultRefused;
    }
}

int CPortalExchanges::_RequestTicket() {
    Log("CPortalConn::_RequestTicket");
    NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTING, kCodeTicketStarted, "");
    CAuthConfig& conf = m_conf;
    if (conf.strTickUrl.IsEmpty()) {
        RequestConfig(0);
        if (conf.strTickUrl.IsEmpty()) {
            Log("CPortalConn::ticketUrl is NULL");
            NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeNoTicketUrl, "");
            return kResultFailed;
        }
    }

    NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTING, kCodeTicketStarted, "");
    SHostAddress address;
    int found = m_pHost->GetIpAndMac(address);
    UseAddress(address);
    Log("ip4 is %s", address.ip4.GetBuffer());
    if (found != 1) {
        NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeNoAddress, "");
        return kResultNoAddress;
    }
    NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTING, kCodeAddressesFound, "");
    CAutoString body =
        m_portalParse.MakeTickRequestData(conf.hostName, conf.strUserAgent, conf.strClientId, address.ip4,
                                          address.ip6, address.mac, Now(), conf.ostag);
    if (body.IsEmpty()) {
        NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeTicketBodyFailed, "");
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
            m_reporter.PostHttpError(INetConn::ES_PRECONNECTFAIL, kCodeTicketHttpError, Signed(errCode));
            return kResultFailed;
        case kResultRedirected:
            NetStateChange(INetConn::ES_CONNECTED, INetConn::ES_DISCONNECTFAIL, kCodeRedirected, "");
            return kResultRedirected;
        case kResultRefused:
            NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, PortalErrorCode(errCode),
                           subErr);
            return kResultFailed;
        default:
            return kResultFailed;
    }

    CAutoString ticket("");
    int expire = conf.expire;
    // An answer without a ticket is no ticket: the client could not log in with it.
    if (m_portalParse.ParserTickResponse(data.RespData(), ticket, expire) != 0 || ticket.IsEmpty()) {
        NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeTicketUnparsed, "");
        return kResultTicketUnparsed;
    }
    conf.strTicket = ticket;
    conf.expire = expire;
    m_pInfoCenter->SetGlobalValue("ticket", ticket);
    return kResultDone;
}

int CPortalExchanges::RequestTicket() {
    int ret = _RequestTicket();
    if (ret != kResultDone) return ret;
    CAuthConfig& conf = m_conf;
    m_pInfoCenter->SetLocalValue("ticket", conf.strTicket);
    Log("ticket is %s", conf.strTicket.GetBuffer());
    NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTED, kCodeNone, "");
    CAutoString ticket = XmlEscape(conf.strTicket);
    CAutoString host = XmlEscape(conf.hostName);
    CAutoString param("");
    param.Format("<ticket>%s</ticket><hostname>%s</hostname><qr>vxra://%s@%s</qr>", ticket.GetBuffer(),
                 host.GetBuffer(), ticket.GetBuffer(), host.GetBuffer());
    m_pHost->PostMsg("Portal", "TicketResp", param);
    return ret;
}
