// CSystemControl: ISystemControl for most distributions. Forwarding is read
// from the kernel's IPv4 and IPv6 forwarding switches, the counters from
// the route table and the device list; no shell is involved. One owner thread.
#pragma once

#include "ISystemControl.h"

class CSystemControl : public ISystemControl {
public:
    explicit CSystemControl(const SYSTEM_CONTROL_PATHS& paths = SYSTEM_CONTROL_PATHS());
    // The executor's callback parameter is this object.
    CSystemControl(const CSystemControl&) = delete;
    CSystemControl& operator=(const CSystemControl&) = delete;

    int NetworkEnableIpForwarding() override;
    int NetworkTrafficStatistics(uint64_t& un64TransmitBytes, uint64_t& un64ReceiveBytes) override;
    void SetSystemControlLogger(SYSTEMCONTROLLOG routine) override;
    SYSTEMCONTROLLOG GetLogRoutine() override;
    void Release() override;

    const NET_DEVICE_STATISTICS& GetStatistics() const { return m_sStatistics; }

    // Line parsers, exposed for tests. A line that does not parse changes nothing.
    // A whole decimal integer (forwarding switch) into m_nIP_Forward_Enabled.
    static void ForwardResultParser(const char* pszLine, void* pParam);
    // A device-list line ("name: rx-bytes ... tx-bytes ...") of the
    // default-route interface into m_sStatistics.
    static void StatisticsLineParser(const char* pszLine, void* pParam);
    // A route-table line; the first up default route names the interface.
    static void RouteLineParser(const char* pszLine, void* pParam);

protected:
    // The switch in the kernel file at path into m_nIP_Forward_Enabled;
    // false, with the value 0, when the file cannot be read or holds no
    // number: what cannot be seen is not taken for sharing.
    bool ReadForwardingSwitch(const std::string& path);

    int m_nIP_Forward_Enabled = 1;
    NET_DEVICE_STATISTICS m_sStatistics;
    CShellExecutor m_Executor;
    SYSTEM_CONTROL_PATHS m_Paths;

private:
    std::string m_strRouteInterface;
};
