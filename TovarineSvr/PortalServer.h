// CPortalServer: the "Portal" business. Message handlers (hub thread) and
// timers (dispatch thread) only queue tasks; one work thread runs the tasks,
// highest level first, and with them every network exchange of the session.
// A process-wide singleton, never destroyed during a run.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "AutoString.h"
#include "Business.h"
#include "INetConn.h"
#include "IPortalHost.h"
#include "IPortalSession.h"
#include "SimpleThread.h"
#include "TableTimer.h"
#include "TaskMgr.h"
#include "TaskPolicy.h"

class CAdapterCard;
class CInfoCenter;
class CNetHelper;
class CTrafficStatistics;
class CWiFiSharedValidate;
class CXMLOpt;

class CPortalServer : public CBusiness, public CTableTimer, public IPortalHost {
public:
    // Makes the session at the first "ClientStart"; the service's is a CPortalConn.
    using SessionFactory = std::function<std::unique_ptr<IPortalSession>(IPortalHost*, ISvrInfoCenter*)>;

    static CPortalServer* GetInst();

    void InitService(IServer* pService) override;
    void ServerStatus(int status) override;
    void InitOpcodeFun() override;
    // Posts with source "NetModule".
    void PostMsg(const char* lpOpType, const char* strOpCode, const char* strParam) override;

    void DoTimeTask(int timeId) override;
    void DoTimeTask(int timeId, CAutoString& strTag) override;

    // Also gives the DNS helper its backup store in the information center.
    void SetInfoCenter(CInfoCenter* infoCenter);
    CInfoCenter* GetInfoCenter() { return m_pInfoCenter; }

    // Opcode handlers.
    void Start(const char* source, CXMLOpt& message);
    void CheckEnv(const char* source, CXMLOpt& message);
    void Connect(const char* source, CXMLOpt& message);
    void DisConnect(const char* source, CXMLOpt& message);
    void TerminalRequest(const char* source, CXMLOpt& message);
    void TerminalTermRequest(const char* source, CXMLOpt& message);

    void CheckNetStatus(int delayTime);
    void DisConnect(CAutoString source) override;
    void ChangeToUnknowEnv() override;
    int GetIpAndMac(SHostAddress& address) override;
    int SetDNS(CAutoString& strDNS1, CAutoString& strDNS2) override;
    int IsPortalEnv() const override { return m_bPortalEnv.load(); }
    CAdapterCard* GetNetHelper() { return m_pNetHelper.get(); }
    int CheckWiFiShare(const char* rules);
    void StopTask(TovarineSvr::TaskItem item);
    void StopAllTask();
    void Work(int bWork);
    void AddTask(TovarineSvr::TaskItem item, TovarineSvr::TaskLevel level = TovarineSvr::normal,
                 const char* tag = "", TovarineSvr::TaskItem next = TovarineSvr::noTask);

    // Statistics: type is LOGOUT 0, LOGIN 1, TIMING 2.
    int NetworkTraffic(int type, const CAutoString& strTag);
    void NetworkTrafficStatistics(int type);

    void PostNetStateMessage(INetConn::ETYPE type, INetConn::ESTATE eStateOld, INetConn::ESTATE eStateNew,
                             int iErrorcode, CAutoString subErrCode) override;
    void PostNetStateMessageEx(INetConn::ETYPE type, INetConn::ESTATE eStateOld, INetConn::ESTATE eStateNew,
                               int iErrorcode, const char* pSubType, const char* pExtern) override;

    IPortalSession* GetPortalConn() { return m_pPortalConn.get(); }

protected:
    explicit CPortalServer(SessionFactory factory = nullptr);
    ~CPortalServer() override;

    // Runs one task taken from the queue, with its next task (work thread).
    virtual void RunTask(TovarineSvr::Task& task);
    // Takes the next queued task while no work thread runs (tests).
    int TakeQueuedTask(TovarineSvr::Task& task) { return m_taskMgr.GetTask(task); }
    // Makes and initialises the session (first "ClientStart", or a test).
    void CreateSession();

private:
    static TovarineSvr::TaskLevel LevelOf(int timeId);
    static void* WorkThread(void* self);
    void WorkLoop();

    // Task handlers.
    void checkNet(TovarineSvr::Task& task);
    void checkUnknowNet(TovarineSvr::Task& task);
    void reqTicket(TovarineSvr::Task& task);
    void reqState(TovarineSvr::Task& task);
    void auth(TovarineSvr::Task& task);
    void term(TovarineSvr::Task& task);
    void pluse(TovarineSvr::Task& task);
    void checkWifi(TovarineSvr::Task& task);
    void termForWifi(TovarineSvr::Task& task);
    void TerminalRequestFun(TovarineSvr::Task& task);
    void TerminalTermRequestFun(TovarineSvr::Task& task);
    void trafficStatistics(TovarineSvr::Task& task);
    // Re-queues a task whose step answered "run again", at most a few times
    // in a row; false when it gave up instead (kCodeModuleUpdateFailed is then posted).
    bool Repeat(TovarineSvr::Task& task);
    // true when the result was "run again" and the task was re-queued. A
    // task that gave up gets kResultUpdateFailed as its result and goes on
    // down its handler's failure path; any other result clears the repeat count.
    bool RunAgain(TovarineSvr::Task& task, int& result);
    // One-shot timer: at once for 0 seconds.
    void SetTimer(TovarineSvr::TaskItem item, long seconds, bool replace, const char* tag = nullptr);
    void StartHeartbeats();
    // Puts back host DNS servers still displaced by this or an earlier run.
    void RestoreHostDns();

    CInfoCenter* m_pInfoCenter = nullptr;
    SessionFactory m_factory;
    std::unique_ptr<IPortalSession> m_pPortalConn;
    std::atomic<int> m_bPortalEnv{0};
    std::unique_ptr<CAdapterCard> m_pNetHelper;
    std::unique_ptr<CNetHelper> m_NetHelper;
    std::unique_ptr<CWiFiSharedValidate> m_WiFiSharedValidate;
    std::unique_ptr<CTrafficStatistics> m_TrafficStatistics;
    TovarineSvr::CTaskMgr m_taskMgr;
    std::atomic<bool> m_bWorking{true};
    CSimpleThread m_threadWork;
    CAutoString m_otherTicket{""};
    std::mutex m_startLock;  // "ClientStart" against a concurrent stop

    CTaskPolicy m_policy;                       // work thread only
    bool m_bPassRepeated = false;               // work thread only: the running task was re-queued
    std::atomic<bool> m_bEngineRunning{false};  // a connection exists and the work thread may run
    std::mutex m_otherTicketLock;               // guards m_otherTicket

    // Statistics settings of the current login, copied out of the
    // configuration so a logout on the message thread never reads it.
    std::mutex m_statsLock;
    CAutoString m_strStatsUrl{""};
    long m_lStatsInterval = 0;
    bool m_bLogoutReportPending = false;  // a logout report is on its way; periodic ones stand down
};
