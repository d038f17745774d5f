// CUserInfo: the installation's identity (client id, host name, version),
// fixed at start-up and published in the information center, where the
// portal engine reads it. Used on the main thread only.
#pragma once

#include "AutoString.h"

class ISvrInfoCenter;

class CUserInfo {
public:
    explicit CUserInfo(ISvrInfoCenter* infoCenter = nullptr);

    // Fills and publishes the three values; returns 1.
    int Init();
    CAutoString GetClientId();
    CAutoString GetHostName();
    CAutoString GetVersion();
    static CAutoString CreateClientId();

private:
    ISvrInfoCenter* m_pInfoCenter;
    CAutoString m_clientId;
    CAutoString m_hostName;
    CAutoString m_version;
};
