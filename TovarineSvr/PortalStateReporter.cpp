#include "PortalStateReporter.h"

#include <chrono>
#include <climits>
#include <thread>

#include "ISvrInfoCenter.h"
#include "Log.h"
#include "PortalConnUtil.h"

CPortalStateReporter::CPortalStateReporter(IPortalHost* host, ISvrInfoCenter* infoCenter)
    : m_pHost(host), m_pInfoCenter(infoCenter) {}

void CPortalStateReporter::Change(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode,
                                  const CAutoString& subErrCode) {
    ESTATE current = m_eState.load();
    CLog::GetInst()->WriteLog(kLogInfo,
                              "NetStateChange curState %d, oldState %d,newState %d,code %d,subCode %s",
                              current, eStateOld, eStateNew, iErrorcode, subErrCode.GetBuffer());
    // Progress of a background refresh must not pull a ready or logged-in
    // display back to "preparing".
    if ((current == INetConn::ES_CONNECTED || current == INetConn::ES_PRECONNECTED) &&
        eStateNew == INetConn::ES_PRECONNECTING)
        return;
    m_eState = eStateNew;

    switch (eStateNew) {
        case INetConn::ES_CONNECTED:
            SetConnectedRecord(1);
            PostPlain(eStateOld, eStateNew, iErrorcode, subErrCode);
            break;
        case INetConn::ES_CONNECTING:
        case INetConn::ES_PRECONNECTED:
        case INetConn::ES_CONNECTFAIL:
        case INetConn::ES_DISCONNECTED:
            PostPlain(eStateOld, eStateNew, iErrorcode, subErrCode);
            break;
        case INetConn::ES_PRECONNECTFAIL:
        case INetConn::ES_PRECONNECTING:
            PostPlain(eStateOld, eStateNew, iErrorcode, subErrCode);
            if (unsigned pause = m_preconnectPauseMs.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(pause));
            break;
        default:
            // Recorded only: an intercepted logout or ticket request is not news to the user.
            break;
    }
}

// The host formats the fragment and escapes the texts: they go out raw here.
void CPortalStateReporter::PostPlain(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode,
                                     const CAutoString& subErrCode) {
    std::lock_guard<std::mutex> guard(m_lastLock);
    m_lastErrType = 0;
    m_lastState = eStateNew;
    m_lastOldState = eStateOld;
    m_lastErrorcode = iErrorcode;
    m_lastSubErrCode = CAutoString(subErrCode.GetBuffer());
    m_pHost->PostNetStateMessage(INetConn::ET_PORTAL, eStateOld, eStateNew, iErrorcode, m_lastSubErrCode);
}

void CPortalStateReporter::PostExtended(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode,
                                        const char* pSubType, const char* pExtern) {
    std::lock_guard<std::mutex> guard(m_lastLock);
    m_lastErrType = 1;
    m_lastState = eStateNew;
    m_lastOldState = eStateOld;
    m_lastErrorcode = iErrorcode;
    m_lastSubType = CAutoString(pSubType ? pSubType : "");
    m_lastExtern = CAutoString(pExtern ? pExtern : "");
    m_pHost->PostNetStateMessageEx(INetConn::ET_PORTAL, eStateOld, eStateNew, iErrorcode, m_lastSubType,
                                   m_lastExtern);
}

void CPortalStateReporter::Replay() {
    std::lock_guard<std::mutex> guard(m_lastLock);
    if (m_lastErrType == 0) {
        m_pHost->PostNetStateMessage(INetConn::ET_PORTAL, m_lastOldState, m_lastState, m_lastErrorcode,
                                     m_lastSubErrCode);
    } else if (m_lastErrType == 1) {
        m_pHost->PostNetStateMessageEx(INetConn::ET_PORTAL, m_lastOldState, m_lastState, m_lastErrorcode,
                                       m_lastSubType, m_lastExtern);
    }
}

void CPortalStateReporter::PostHttpError(ESTATE eState, unsigned long code, long httpErrCode) {
    m_eState = eState;
    CAutoString text = portalconn::Decimal(httpErrCode);
    int errorCode = code > static_cast<unsigned long>(INT_MAX) ? INT_MAX : static_cast<int>(code);
    PostExtended(INetConn::ES_NONE, eState, errorCode, "HttpError", text);
}

int CPortalStateReporter::ConnectedRecord() {
    return portalconn::LeadingInt(m_pInfoCenter->GetLocalValue("connState"));
}

void CPortalStateReporter::SetConnectedRecord(int state) {
    CLog::GetInst()->WriteLog(kLogInfo, state ? "record connected" : "record not connect");
    m_pInfoCenter->SetLocalValue("connState", portalconn::Decimal(state));
}
