#include "SystemControl.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Decimal.h"
#include "ProcNet.h"

CSystemControl::CSystemControl(const SYSTEM_CONTROL_PATHS& paths) : m_Paths(paths) {
    m_Executor.SetSystemControlLogger(StatisticsLineParser, this);
}

void CSystemControl::ForwardResultParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControl*>(pParam);
    if (self) Decimal::Parse(pszLine, self->m_nIP_Forward_Enabled);
}

bool CSystemControl::ReadForwardingSwitch(const std::string& path) {
    static constexpr int kUnread = INT32_MIN;
    m_nIP_Forward_Enabled = kUnread;
    m_Executor.SetSystemControlLogger(ForwardResultParser, this);
    if (!m_Executor.ReadFileLines(path.c_str())) {
        int error = errno;
        fprintf(stderr, "%s: %s\n", path.c_str(), strerror(error));
    }
    if (m_nIP_Forward_Enabled != kUnread) return true;
    m_nIP_Forward_Enabled = 0;
    return false;
}

int CSystemControl::NetworkEnableIpForwarding() {
    ReadForwardingSwitch(m_Paths.strIPv4Forwarding);
    if (m_nIP_Forward_Enabled == 0) ReadForwardingSwitch(m_Paths.strIPv6Forwarding);
    return m_nIP_Forward_Enabled;
}

void CSystemControl::RouteLineParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControl*>(pParam);
    // The first default route counts.
    if (self && self->m_strRouteInterface.empty())
        ProcNet::ReadDefaultRoute(pszLine, self->m_strRouteInterface);
}

void CSystemControl::StatisticsLineParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControl*>(pParam);
    if (!self || self->m_strRouteInterface.empty()) return;
    NET_DEVICE_STATISTICS& statistics = self->m_sStatistics;
    if (!ProcNet::ReadDeviceCounters(pszLine, self->m_strRouteInterface.c_str(), statistics.un64ReceiveBytes,
                                     statistics.un64TransmitBytes))
        return;
    snprintf(statistics.szInterface, sizeof(statistics.szInterface), "%s", self->m_strRouteInterface.c_str());
}

int CSystemControl::NetworkTrafficStatistics(uint64_t& un64TransmitBytes, uint64_t& un64ReceiveBytes) {
    m_strRouteInterface.clear();
    m_Executor.SetSystemControlLogger(RouteLineParser, this);
    m_Executor.ReadFileLines(m_Paths.strNetRoute.c_str());
    m_Executor.SetSystemControlLogger(StatisticsLineParser, this);
    // Without a default route nothing matches and the last values stay.
    if (!m_Executor.ReadFileLines(m_Paths.strNetDev.c_str())) return -1;
    un64TransmitBytes = m_sStatistics.un64TransmitBytes;
    un64ReceiveBytes = m_sStatistics.un64ReceiveBytes;
    return 0;
}

void CSystemControl::SetSystemControlLogger(SYSTEMCONTROLLOG routine) {
    m_Executor.SetSystemControlLogger(routine, this);
}

SYSTEMCONTROLLOG CSystemControl::GetLogRoutine() { return m_Executor.GetLogRoutine(); }

void CSystemControl::Release() { delete this; }
