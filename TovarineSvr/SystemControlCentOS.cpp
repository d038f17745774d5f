#include "SystemControlCentOS.h"

#include <cstring>

CSystemControlCentOS::CSystemControlCentOS(const SYSTEM_CONTROL_PATHS& paths) : CSystemControl(paths) {
    m_Executor.SetSystemControlLogger(ForwardLineParser, this);
}

void CSystemControlCentOS::ForwardLineParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControlCentOS*>(pParam);
    if (!self || !pszLine || !strstr(pszLine, "net.ipv4.ip_forward ")) return;
    const char* value = strrchr(pszLine, '=');
    if (value) ReadDecimal(value + 1, self->m_nIP_Forward_Enabled);
}

int CSystemControlCentOS::NetworkEnableIpForwarding() {
    m_Executor.SetSystemControlLogger(ForwardLineParser, this);
    m_Executor.ExecuteShellScript(m_Paths.strSysctlCommand.c_str(), "r");
    return m_nIP_Forward_Enabled;
}
