#include "PortalConn.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "AuthConfig.h"
#include "HttpData.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "Markup.h"
#include "PortalConnUtil.h"
#include "XmlEscape.h"

using portalconn::Decimal;
using portalconn::LeadingInt;

CPortalConn::CPortalConn(IPortalHost* host, ISvrInfoCenter* infoCenter)
    : m_pHost(host),
      m_pInfoCenter(infoCenter),
      m_reporter(host, infoCenter),
      m_cluster(infoCenter),
      m_detector(infoCenter, &m_cluster),
      m_pPortalConf(new CAuthConfig()) {}

CPortalConn::~CPortalConn() = default;

int CPortalConn::Init() {
    InitPortalConf();
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
    m_detector.SetProbeUrls(local("redirect"), local("redirectipv6"));
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
    m_cluster.Load(local("serverCluster"), local("serverCluster6"), local("disasterUrl"));
    return 0;
}

int CPortalConn::GetErrorCode(CHttpData& httpData, CAutoString& subErrCode) {
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

void CPortalConn::SendData(const char* key, const char* value) {
    if (!key || !value || !*value) return;
    m_pInfoCenter->SetGlobalValue(key, value);
    CAutoString param("");
    param.Format("<key>%s</key><value>%s</value>", XmlEscape(key).GetBuffer(), XmlEscape(value).GetBuffer());
    m_pHost->PostMsg("Portal", "InfoCenter", param);
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

int CPortalConn::RequestConfig(int /*bPostErr*/) {
    CLog::GetInst()->WriteLog(kLogInfo, "CPortalConn::RequestConfig");
    int env = CheckNetEnv();
    if (env == kResultNothing) return kResultNothing;
    if (env == kResultFailed) {
        NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeNoProbeUrl, "");
        return kResultFailed;
    }
    if (env != kResultDone) return kResultFailed;
    if (!m_cluster.MayRequest()) {
        NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, kCodeServerDown, "");
        return kResultFailed;
    }

    CAuthConfig* conf = m_pPortalConf.get();
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

    m_bSetAuthConf = 1;
    m_reporter.SetConnectedRecord(0);
    return kResultDone;
}

void CPortalConn::UseAddress(const SHostAddress& address) {
    CAuthConfig& conf = *m_pPortalConf;
    conf.m_afType = address.family;
    // A failed lookup chooses no family and leaves the last addresses as they were.
    if (address.family == kFamilyNone) return;
    conf.ip4 = address.ip4;
    conf.ip6 = address.ip6;
    conf.mac = address.mac;
}

void CPortalConn::SetServerIp() {
    CAuthConfig& conf = *m_pPortalConf;
    if (conf.m_afType == kFamilyIPv4) {
        conf.strUserAgent.Format("VXRA/Linux64/%s", conf.version.GetBuffer());
    } else if (conf.m_afType == kFamilyIPv6) {
        conf.strUserAgent.Format("VXRA/LinuxIpv664/%s", conf.version.GetBuffer());
    }
    CLog::GetInst()->WriteLog(kLogInfo, "sysVer is %s,agent is %s", conf.ostag.GetBuffer(),
                              conf.strUserAgent.GetBuffer());
}

void CPortalConn::ResetNetConfig() {
    m_pPortalConf->ip4 = CAutoString("");
    m_pPortalConf->ip6 = CAutoString("");
    m_pPortalConf->mac = CAutoString("");
}

int CPortalConn::GetNewServerIP(CAutoString& url) {
    const CAuthConfig& conf = *m_pPortalConf;
    return m_cluster.NextServer(url, conf.m_afType, conf.ip4, conf.ip6) ? 1 : 0;
}

int CPortalConn::ServerDown(const char* url, int result) {
    CLog::GetInst()->WriteLog(kLogInfo, "request url %s return server err %d", url ? url : "", result);
    NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL, m_cluster.MarkDown(), "");
    return kResultServerDown;
}
