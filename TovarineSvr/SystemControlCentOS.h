// CSystemControlCentOS: CSystemControl whose forwarding test reads the IPv4
// switch alone. One owner thread.
#pragma once

#include "SystemControl.h"

class CSystemControlCentOS : public CSystemControl {
public:
    explicit CSystemControlCentOS(const SYSTEM_CONTROL_PATHS& paths = SYSTEM_CONTROL_PATHS());

    int NetworkEnableIpForwarding() override;
};
