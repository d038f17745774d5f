#include "PortalConn.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "AuthConfig.h"
#include "CommFunc.h"
#include "HttpData.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "Markup.h"
#include "Md5.h"
#include "PortalConnUtil.h"
#include "XmlEscape.h"

using portalconn::LeadingInt;

// Reachable only once the host is on line; a portal intercepts it before.
const char CPortalConn::kDefaultProbeUrl[] = "http://www.example.com/";

CPortalConn::CPortalConn(IPortalHost* host, ISvrInfoCenter* infoCenter)
    : m_pHost(host), m_pInfoCenter(infoCenter), m_pPortalConf(new CAuthConfig()) {}

CPortalConn::~CPortalConn() = default;

int CPortalConn::Init() {
    InitPortalConf();
    InitEnviromment();
    return m_portalParse.Init();
}

int CPortalConn::InitPortalConf() {
    printf("svr start success\n");
    fflush(stdout);
    m_pPortalConf.reset(new CAuthConfig());
    CAuthConfig& conf = *m_pPortalConf;
    CLog* log = CLog::GetInst();

    conf.hostName = m_pInfoCenter->GetValue("hostName");
    conf.strClientId = m_pInfoCenter->GetValue("clientId");
    conf.version.Format("%s", m_pInfoCenter->GetValue("version").GetBuffer());
    log->WriteLog(kLogInfo, "version is %s", conf.version.GetBuffer());

    conf.ostag = "linux64";
    conf.strUserAgent.Format("VXRA/Linux64/%s", conf.version.GetBuffer());
    log->WriteLog(kLogInfo, "sysVer is %s,agent is %s", conf.ostag.GetBuffer(),
                  conf.strUserAgent.GetBuffer());

    auto local = [this](const char* key) { return m_pInfoCenter->GetLocalValue(key); };
    m_redirectUrl = local("redirect");
    if (m_redirectUrl.IsEmpty()) m_redirectUrl = kDefaultProbeUrl;
    m_redirectUrlIpv6 = local("redirectipv6");
    if (m_redirectUrlIpv6.IsEmpty()) m_redirectUrlIpv6 = kDefaultProbeUrl;
    conf.strTermUrl = local("termUrl");
    conf.strKeepUrl = local("keepUrl");
    conf.iKeepRetry = ClampKeepRetry(LeadingInt(local("keepRetry")));
    conf.strTicket = local("ticket");
    conf.strStateUrl = local("stateUrl");
    conf.nDefaultAuth = LeadingInt(local("defaultAuth"));
    if (conf.nDefaultAuth == 0) conf.nDefaultAuth = 1;
    conf.schoolId = local("schoolId");
    conf.domain = local("domain");
    conf.area = local("area");
    conf.wlanuserip = local("wlanuserip");
    conf.wlanusermac = local("wlanusermac");
    conf.wlancip = local("wlanacip");
    conf.fileInterval = LeadingInt(local("plusInterval"));
    conf.fileIntervalFlag = LeadingInt(local("plusFlag"));
    m_DisasterUrl = local("disasterUrl");
    std::lock_guard<std::mutex> guard(m_clusterLock);
    conf.m_strServersIPv4 = local("serverCluster");
    conf.m_strServersIPv6 = local("serverCluster6");
    if (!conf.m_strServersIPv4.IsEmpty()) m_hashBalance4.SetIpList(conf.m_strServersIPv4.GetBuffer());
    if (!conf.m_strServersIPv6.IsEmpty()) m_hashBalance6.SetIpList(conf.m_strServersIPv6.GetBuffer());
    m_DisasterUrl.MakeLower();
    return 0;
}

void CPortalConn::NetStateChange(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, CAutoString subErrCode) {
    ESTATE current = m_eState.load();
    CLog::GetInst()->WriteLog(kLogInfo,
                              "NetStateChange curState %d, oldState %d,newState %d,code %d,subCode %s",
                              current, eStateOld, eStateNew, iErrorcode, subErrCode.GetBuffer());
    // Progress of a background refresh must not pull a ready or logged-in
    // display back to "preparing".
    if ((current == ES_CONNECTED || current == ES_PRECONNECTED) && eStateNew == ES_PRECONNECTING) return;
    m_eState = eStateNew;

    switch (eStateNew) {
        case ES_CONNECTED:
            SetConnCfg(1);
            PostNetStateMessage(eStateOld, eStateNew, iErrorcode, subErrCode);
            break;
        case ES_CONNECTING:
        case ES_PRECONNECTED:
        case ES_CONNECTFAIL:
        case ES_DISCONNECTED:
            PostNetStateMessage(eStateOld, eStateNew, iErrorcode, subErrCode);
            break;
        case ES_PRECONNECTFAIL:
        case ES_PRECONNECTING:
            PostNetStateMessage(eStateOld, eStateNew, iErrorcode, subErrCode);
            if (m_preconnectPauseMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(m_preconnectPauseMs));
            break;
        default:
            // Recorded only: an intercepted logout or ticket request is not news to the user.
            break;
    }
}

// The host formats the fragment and escapes the texts: they go out raw here.
void CPortalConn::PostPlainLocked(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode,
                                  const CAutoString& subErrCode) {
    m_pHost->PostNetStateMessage(ET_PORTAL, eStateOld, eStateNew, iErrorcode, subErrCode);
}

void CPortalConn::PostExLocked(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, const CAutoString& subType,
                               const CAutoString& strExtern) {
    m_pHost->PostNetStateMessageEx(ET_PORTAL, eStateOld, eStateNew, iErrorcode, subType, strExtern);
}

void CPortalConn::PostNetStateMessage(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode,
                                      CAutoString subErrCode) {
    // Held across the post too, so a replay never overtakes a newer message.
    std::lock_guard<std::mutex> guard(m_lastLock);
    m_lastErrType = 0;
    m_lastState = eStateNew;
    m_lastOldState = eStateOld;
    m_lastErrorcode = iErrorcode;
    m_lastSubErrCode = CAutoString(subErrCode.GetBuffer());
    PostPlainLocked(eStateOld, eStateNew, iErrorcode, m_lastSubErrCode);
}

void CPortalConn::PostNetStateMessageEx(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode,
                                        const char* pSubType, const char* pExtern) {
    std::lock_guard<std::mutex> guard(m_lastLock);
    m_lastErrType = 1;
    m_lastState = eStateNew;
    m_lastOldState = eStateOld;
    m_lastErrorcode = iErrorcode;
    m_lastSubType = CAutoString(pSubType ? pSubType : "");
    m_lastExtern = CAutoString(pExtern ? pExtern : "");
    PostExLocked(eStateOld, eStateNew, iErrorcode, m_lastSubType, m_lastExtern);
}

void CPortalConn::PostLastNetStateMessage() {
    std::lock_guard<std::mutex> guard(m_lastLock);
    if (m_lastErrType == 0) {
        PostPlainLocked(m_lastOldState, m_lastState, m_lastErrorcode, m_lastSubErrCode);
    } else if (m_lastErrType == 1) {
        PostExLocked(m_lastOldState, m_lastState, m_lastErrorcode, m_lastSubType, m_lastExtern);
    }
}

void CPortalConn::PostError(ESTATE eState, unsigned long code, long httpErrCode, int /*bStopAll*/) {
    m_eState = eState;
    CAutoString text = portalconn::Decimal(httpErrCode);
    int errorCode = code > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(code);
    PostNetStateMessageEx(ES_NONE, eState, errorCode, "HttpError", text);
}

int CPortalConn::GetErrorCode(CHttpData& httpData, CAutoString& subErrCode) {
    subErrCode = httpData.GetHeadAttri("Sub-Error");
    if (subErrCode.IsNull()) subErrCode = CAutoString("");
    CAutoString code = httpData.GetHeadAttri("Error-Code");
    // Only a whole decimal number is a code: "E1" or "-0" read as 0 would
    // turn a refusal into success, so they count as no header at all.
    const char* text = code.GetBuffer();
    if (code.IsEmpty() || strspn(text, "0123456789") != code.GetLength()) return -1;
    long value = strtol(text, nullptr, 10);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void CPortalConn::SendData(const char* key, const char* value) {
    if (!key || !value || !*value) return;
    m_pInfoCenter->SetGlobalValue(key, value);
    CAutoString param("");
    param.Format("<key>%s</key><value>%s</value>", XmlEscape(key).GetBuffer(), XmlEscape(value).GetBuffer());
    m_pHost->PostMsg("Portal", "InfoCenter", param);
}

int CPortalConn::IsTelNum(CAutoString text) { return ::IsTelNum(text); }

CAutoString CPortalConn::GetMD5FromPostData(const char* postData) {
    std::string digest = Md5Hex(postData);
    return CAutoString(digest.c_str(), digest.size());
}

CAutoString CPortalConn::GetRequestHead(const char* postData) {
    return m_portalParse.GetRequestHead(*m_pPortalConf, postData);
}

int CPortalConn::UpdateAlgoid(CHttpData* pData) {
    NetStateChange(ES_PRECONNECTING, ES_PRECONNECTING, kCodeModuleUpdating, "");
    return m_portalParse.UpdateAlgoid(pData);
}

int CPortalConn::SetDNS(CAutoString& strDomainConfig) {
    if (strDomainConfig.IsEmpty()) return -1;
    CMarkup doc;
    if (!doc.SetDoc(strDomainConfig) || !doc.FindElem("domain-config")) return -1;
    if (doc.FindChildElem("dns1")) m_strDNS1 = doc.GetChildData();
    doc.ResetChildPos();
    if (doc.FindChildElem("dns2")) m_strDNS2 = doc.GetChildData();
    if (m_strDNS1.IsEmpty() && m_strDNS2.IsEmpty()) return -1;
    return m_pHost->SetDNS(m_strDNS1, m_strDNS2);
}
