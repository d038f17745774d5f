// CSystemControlCentOS: CSystemControl with the forwarding test read from
// the output of the fixed sysctl command line. One owner thread.
#pragma once

#include "SystemControl.h"

class CSystemControlCentOS : public CSystemControl {
public:
    explicit CSystemControlCentOS(const SYSTEM_CONTROL_PATHS& paths = SYSTEM_CONTROL_PATHS());

    int NetworkEnableIpForwarding() override;

    // A "net.ipv4.ip_forward = N" line into m_nIP_Forward_Enabled.
    static void ForwardLineParser(const char* pszLine, void* pParam);
};
