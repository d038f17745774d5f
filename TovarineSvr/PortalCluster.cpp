#include "PortalCluster.h"

#include <string>

#include "HttpHelper.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "NetStateCode.h"
#include "PortalResult.h"

void CPortalCluster::Load(const CAutoString& listIPv4, const CAutoString& listIPv6,
                          const CAutoString& disasterUrl) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_DisasterUrl = disasterUrl;
    m_DisasterUrl.MakeLower();
    m_strServersIPv4 = listIPv4;
    m_strServersIPv6 = listIPv6;
    if (!m_strServersIPv4.IsEmpty()) m_hashBalance4.SetIpList(m_strServersIPv4.GetBuffer());
    if (!m_strServersIPv6.IsEmpty()) m_hashBalance6.SetIpList(m_strServersIPv6.GetBuffer());
}

bool CPortalCluster::NextServer(CAutoString& url, int family, const CAutoString& ip4,
                                const CAutoString& ip6) {
    CAutoString host("");
    if (!CHttpHelper::ParseIP(url, host) || host.IsEmpty()) return false;

    std::lock_guard<std::mutex> guard(m_lock);
    if (m_failovers >= kMaxFailovers ||
        std::chrono::steady_clock::now() - m_checkStart >= std::chrono::seconds(kMaxFailoverSeconds)) {
        CLog::GetInst()->WriteLog(kLogInfo, "no more failover in this network check (%d servers tried)",
                                  m_failovers);
        return false;
    }
    bool v6 = family == kFamilyIPv6 && !ip6.IsEmpty();
    HashBalance& balance = v6 ? m_hashBalance6 : m_hashBalance4;
    std::string server = balance.getServer(v6 ? ip6.GetBuffer() : ip4.GetBuffer());
    if (server.empty()) return false;

    url.Replace(host, server.c_str());
    balance.deleteIp(server);
    ++m_failovers;
    CLog::GetInst()->WriteLog(kLogInfo, "GetNewServerIP old url %s, new url %s", host.GetBuffer(),
                              url.GetBuffer());
    return true;
}

void CPortalCluster::BeginNetworkCheck() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_failovers = 0;
    m_checkStart = std::chrono::steady_clock::now();
}

void CPortalCluster::Reload() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_hashBalance4.Empty() && !m_strServersIPv4.IsEmpty())
        m_hashBalance4.SetIpList(m_strServersIPv4.GetBuffer());
    if (m_hashBalance6.Empty() && !m_strServersIPv6.IsEmpty())
        m_hashBalance6.SetIpList(m_strServersIPv6.GetBuffer());
}

void CPortalCluster::Publish(int family, const CAutoString& announced) {
    std::lock_guard<std::mutex> guard(m_lock);
    bool v6 = family == kFamilyIPv6;
    CAutoString& inUse = v6 ? m_strServersIPv6 : m_strServersIPv4;
    HashBalance& balance = v6 ? m_hashBalance6 : m_hashBalance4;
    m_pInfoCenter->SetLocalValue(v6 ? "serverCluster6" : "serverCluster", inUse);
    if (announced != inUse) {
        inUse = CAutoString(announced.GetBuffer());
        // A list being walked through is refilled only at the next start or change.
        if (balance.Empty()) balance.SetIpList(inUse.GetBuffer());
    }
}

// The transport reports every status from 400 up as -3, so no 5xx reaches
// here and the servers stay up; kept for a transport that does pass the status on.
int CPortalCluster::MarkDown() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_nServerState = 0;
    return m_DisasterUrl.IsEmpty() ? kCodeServerDown : kCodeDisasterServerDown;
}

bool CPortalCluster::MayRequest() {
    CAutoString disasterUrl;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_nServerState != 0) return true;
        disasterUrl = m_DisasterUrl;
    }
    return DisasterRecovery(disasterUrl);
}

bool CPortalCluster::DisasterRecovery(CAutoString addr) {
    addr.MakeLower();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_DisasterUrl.IsEmpty() || addr.Find(m_DisasterUrl) < 0) return false;
    m_nServerState = 1;
    return true;
}
