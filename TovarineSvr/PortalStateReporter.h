// CPortalStateReporter: the session's connection state and its messages to
// the client. Records the state, posts each change that is news to the user,
// remembers the last message for a client that attaches later, paces the
// preparation's messages so the window shows each step, and keeps the
// "connState" record a later run reads. Changes come from the work thread;
// the replay comes from the message thread.
#pragma once

#include <atomic>
#include <mutex>

#include "AutoString.h"
#include "INetConn.h"
#include "IPortalHost.h"

class ISvrInfoCenter;

class CPortalStateReporter {
public:
    using ESTATE = INetConn::ESTATE;

    // Neither is owned.
    CPortalStateReporter(IPortalHost* host, ISvrInfoCenter* infoCenter);

    // The one entry point for a state change: records it and posts it when the user should see it.
    void Change(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, const CAutoString& subErrCode);
    // Remember and post a message without changing the state.
    void PostPlain(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, const CAutoString& subErrCode);
    void PostExtended(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, const char* pSubType,
                      const char* pExtern);
    // Posts the remembered last message again; nothing before the first.
    void Replay();
    // A failed HTTP exchange: sets the state directly and posts "HttpError" with the transport's result.
    void PostHttpError(ESTATE eState, unsigned long code, long httpErrCode);

    ESTATE State() const { return m_eState.load(); }
    void SetState(ESTATE eState) { m_eState = eState; }
    void SetPreconnectPauseMs(unsigned ms) { m_preconnectPauseMs = ms; }

    // The "connState" record: 1 while a login of ours may still be live.
    int ConnectedRecord();
    void SetConnectedRecord(int state);

private:
    IPortalHost* m_pHost;
    ISvrInfoCenter* m_pInfoCenter;
    std::atomic<ESTATE> m_eState{INetConn::ES_NONE};
    std::atomic<unsigned> m_preconnectPauseMs{500};

    // Held across the post too, so a replay never overtakes a newer message.
    std::mutex m_lastLock;
    ESTATE m_lastState = INetConn::ES_NONE;
    ESTATE m_lastOldState = INetConn::ES_NONE;
    int m_lastErrorcode = 0;
    CAutoString m_lastSubErrCode{""};
    int m_lastErrType = -1;  // -1 none yet, 0 plain, 1 extended
    CAutoString m_lastSubType{""};
    CAutoString m_lastExtern{""};
};
