// IPortalSession: the portal session as the "Portal" business drives it from
// its task handlers. CPortalConn implements it; tests give the business a
// fake, so the handlers can be checked without a network. Steps return an
// EPortalResult.
#pragma once

#include "AutoString.h"
#include "INetConn.h"
#include "IPortalHost.h"

struct CAuthConfig;

class IPortalSession : public INetConn {
public:
    // Seeds the configuration, then loads the module.
    virtual int Init() = 0;
    virtual CAuthConfig* GetAuthConfig() = 0;

    virtual void NetStateChange(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode,
                                CAutoString subErrCode) = 0;
    virtual void PostLastNetStateMessage() = 0;
    virtual ESTATE GetNetState() const = 0;

    // A network check starts: the addresses it found, then the configuration.
    virtual void BeginNetworkCheck() = 0;
    virtual void UseAddress(const SHostAddress& address) = 0;
    virtual void SetServerIp() = 0;
    virtual int RequestConfig(int bPostErr) = 0;
    virtual void ResetNetConfig() = 0;
    // 1 while a login of ours may still be live.
    virtual int GetConnCfg() = 0;
    // A second "ClientStart": load a cluster list that is empty but known.
    virtual void ReloadServerLists() = 0;

    virtual int RequestTicket() = 0;
    virtual int CheckConnectState(int bPostErr) = 0;
    virtual int KeepPluse() = 0;
    virtual int TerminalRequestData(CAutoString& pXml) = 0;
    virtual int TerminalTermRequest(CAutoString ticket) = 0;
    // The service stops: logs out a login that is still recorded.
    virtual void Destroy() = 0;
};
