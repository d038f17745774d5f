// Server clusters, failover and the small connection bookkeeping around them.
#include <string>

#include "AuthConfig.h"
#include "HttpHelper.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "PortalConn.h"
#include "PortalConnUtil.h"

int CPortalConn::GetNewServerIP(CAutoString& url) {
    CAutoString host("");
    if (!CHttpHelper::ParseIP(url, host) || host.IsEmpty()) return 0;

    CAuthConfig& conf = *m_pPortalConf;
    std::lock_guard<std::mutex> guard(m_clusterLock);
    if (m_failovers >= kMaxFailovers ||
        std::chrono::steady_clock::now() - m_checkStart >= std::chrono::seconds(kMaxFailoverSeconds)) {
        CLog::GetInst()->WriteLog(kLogInfo, "no more failover in this network check (%d servers tried)",
                                  m_failovers);
        return 0;
    }
    bool v6 = conf.m_afType == kFamilyIPv6 && !conf.ip6.IsEmpty();
    HashBalance& balance = v6 ? m_hashBalance6 : m_hashBalance4;
    std::string key = v6 ? conf.ip6.GetBuffer() : conf.ip4.GetBuffer();
    std::string server = balance.getServer(key);
    if (server.empty()) return 0;

    url.Replace(host, server.c_str());
    balance.deleteIp(server);
    ++m_failovers;
    CLog::GetInst()->WriteLog(kLogInfo, "GetNewServerIP old url %s, new url %s", host.GetBuffer(),
                              url.GetBuffer());
    return 1;
}

void CPortalConn::BeginNetworkCheck() {
    std::lock_guard<std::mutex> guard(m_clusterLock);
    m_failovers = 0;
    m_checkStart = std::chrono::steady_clock::now();
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

int CPortalConn::GetConnCfg() { return portalconn::LeadingInt(m_pInfoCenter->GetLocalValue("connState")); }

void CPortalConn::SetConnCfg(int state) {
    CLog::GetInst()->WriteLog(kLogInfo, state ? "record connected" : "record not connect");
    m_pInfoCenter->SetLocalValue("connState", portalconn::Decimal(state));
}

void CPortalConn::ReloadServerLists() {
    CAuthConfig& conf = *m_pPortalConf;
    std::lock_guard<std::mutex> guard(m_clusterLock);
    if (m_hashBalance4.Empty() && !conf.m_strServersIPv4.IsEmpty())
        m_hashBalance4.SetIpList(conf.m_strServersIPv4.GetBuffer());
    if (m_hashBalance6.Empty() && !conf.m_strServersIPv6.IsEmpty())
        m_hashBalance6.SetIpList(conf.m_strServersIPv6.GetBuffer());
}

void CPortalConn::PublishServerList() {
    CAuthConfig& conf = *m_pPortalConf;
    std::lock_guard<std::mutex> guard(m_clusterLock);
    bool v6 = conf.m_afType == kFamilyIPv6;
    CAutoString& inUse = v6 ? conf.m_strServersIPv6 : conf.m_strServersIPv4;
    HashBalance& balance = v6 ? m_hashBalance6 : m_hashBalance4;
    m_pInfoCenter->SetLocalValue(v6 ? "serverCluster6" : "serverCluster", inUse);
    if (conf.m_strServers != inUse) {
        inUse = CAutoString(conf.m_strServers.GetBuffer());
        // A list being walked through is refilled only at the next start or change.
        if (balance.Empty()) balance.SetIpList(inUse.GetBuffer());
    }
}

int CPortalConn::DisasterRecovery(CAutoString addr) {
    addr.MakeLower();
    if (m_DisasterUrl.IsEmpty() || addr.Find(m_DisasterUrl) < 0) return 0;
    m_nServerState = 1;
    return 1;
}

// The transport reports every status from 400 up as -3, so callers never see
// a 5xx result here and the server state stays 1; kept for a transport that
// does pass the status on.
int CPortalConn::ServerDown(const char* url, int result) {
    CLog::GetInst()->WriteLog(kLogInfo, "request url %s return server err %d", url ? url : "", result);
    m_nServerState = 0;
    NetStateChange(ES_PRECONNECTING, ES_PRECONNECTFAIL,
                   m_DisasterUrl.IsEmpty() ? kCodeServerDown : kCodeDisasterServerDown, "");
    return kResultServerDown;
}
