// CAuthConfig: the session's portal configuration. Seeded at start from the
// information center, overwritten by each parsed configuration document and
// by login, ticket and heartbeat answers. Owned by CPortalConn and touched
// only on the portal work thread.
#pragma once

#include <map>
#include <vector>

#include "AutoString.h"

struct CAuthConfig {
    CAutoString strTickUrl{""};
    CAutoString strQueryUrl{""};
    CAutoString strAuthUrl{""};
    CAutoString strStateUrl{""};
    int nDefaultAuth = 1;  // 1 password, 2 mobile QR code, 4 other
    std::vector<CAutoString> process;
    std::vector<CAutoString> driver;
    int nAuthType = 0;  // sum of the offered methods
    unsigned long stateInterval = 5;
    CAutoString strTermUrl{""};
    CAutoString strKeepUrl{""};
    CAutoString strTicket{""};
    int expire = 0;
    CAutoString strClientId{""};
    CAutoString strUserAgent{""};
    int iKeepRetry = 2;
    int iInterval = 0;
    int iKeepLevel = 0;
    CAutoString ostag{""};
    CAutoString mac{""};
    CAutoString ip4{""};
    CAutoString ip6{""};
    CAutoString hostName{""};
    CAutoString version{""};
    CAutoString userName{""};
    CAutoString password{""};
    CAutoString againstList{""};  // the "user-config" markup
    unsigned long checkWifiInterval = 300;
    unsigned long logoutDelay = 300;
    int checkResult = 0;
    std::vector<CAutoString> m_vecRegister;
    std::vector<CAutoString> m_vecOption;
    CAutoString m_strAcountType{""};
    CAutoString m_strAcountValue{""};
    unsigned short RNKeepPortTime = 300;
    CAutoString m_strDNS{""};  // the "domain-config" markup
    CAutoString schoolId{""};
    CAutoString domain{""};
    CAutoString area{""};
    CAutoString wlanuserip{""};
    CAutoString wlanusermac{""};
    CAutoString wlancip{""};
    CAutoString trafficStatisticsURL{""};
    long trafficStatisticsInterval = 0;
    int fileInterval = 0;
    int fileIntervalFlag = 0;
    int m_afType = -1;  // an EAddressFamily
    CAutoString m_strServersIPv4{""};
    CAutoString m_strServersIPv6{""};
    CAutoString m_strServers{""};
    std::map<CAutoString, CAutoString> funCfg;  // element name -> markup
};
