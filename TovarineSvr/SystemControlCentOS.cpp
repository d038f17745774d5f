#include "SystemControlCentOS.h"

CSystemControlCentOS::CSystemControlCentOS(const SYSTEM_CONTROL_PATHS& paths) : CSystemControl(paths) {}

int CSystemControlCentOS::NetworkEnableIpForwarding() {
    // The kernel's own switch rather than sysctl's output: a host without
    // sysctl on the PATH printed nothing and counted as forwarding.
    ReadForwardingSwitch(m_Paths.strIPv4Forwarding);
    return m_nIP_Forward_Enabled;
}
