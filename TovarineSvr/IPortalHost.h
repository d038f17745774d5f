// IPortalHost: what the portal session asks of the business that owns it:
// posting messages to the client, address and DNS questions, and starting a
// logout or the open-network state. CPortalServer implements it; tests give
// the session a fake.
#pragma once

#include "AutoString.h"
#include "INetConn.h"
#include "PortalResult.h"

// The addresses of the active interface, and the family they were chosen in.
struct SHostAddress {
    CAutoString ip4{""};
    CAutoString ip6{""};
    CAutoString mac{""};
    int family = kFamilyNone;  // an EAddressFamily
};

class IPortalHost {
public:
    virtual ~IPortalHost() = default;
    // Posts with source "NetModule".
    virtual void PostMsg(const char* lpOpType, const char* strOpCode, const char* strParam) = 0;
    virtual void PostNetStateMessage(INetConn::ETYPE type, INetConn::ESTATE eStateOld,
                                     INetConn::ESTATE eStateNew, int iErrorcode, CAutoString subErrCode) = 0;
    virtual void PostNetStateMessageEx(INetConn::ETYPE type, INetConn::ESTATE eStateOld,
                                       INetConn::ESTATE eStateNew, int iErrorcode, const char* pSubType,
                                       const char* pExtern) = 0;
    virtual void ChangeToUnknowEnv() = 0;
    virtual void DisConnect(CAutoString source) = 0;
    virtual int IsPortalEnv() const = 0;
    // 1 with the addresses, -1 without a usable interface (no family chosen then).
    virtual int GetIpAndMac(SHostAddress& address) = 0;
    // 0, an errno value, or kDnsBackupNotSaved; on failure nothing changed.
    virtual int SetDNS(CAutoString& strDNS1, CAutoString& strDNS2) = 0;
};
