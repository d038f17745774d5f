#include "PortalConn.h"

#include <cstdio>

#include "AuthConfig.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "PortalConnUtil.h"

using portalconn::LeadingInt;

CPortalConn::CPortalConn(IPortalHost* host, ISvrInfoCenter* infoCenter)
    : m_pInfoCenter(infoCenter),
      m_reporter(host, infoCenter),
      m_cluster(infoCenter),
      m_detector(infoCenter, &m_cluster),
      m_pPortalConf(new CAuthConfig()),
      m_exchanges(host, infoCenter, m_reporter, m_cluster, m_detector, *m_pPortalConf) {}

CPortalConn::~CPortalConn() = default;

int CPortalConn::Init() {
    InitPortalConf();
    return m_exchanges.Parser().Init();
}

int CPortalConn::InitPortalConf() {
    printf("svr start success\n");
    fflush(stdout);
    *m_pPortalConf = CAuthConfig();
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

void CPortalConn::Destroy() {
    if (GetConnCfg() == 1) DisConnect("7");
}
