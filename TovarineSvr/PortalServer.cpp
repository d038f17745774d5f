#include "PortalServer.h"

#include <cstdio>

#include "AdapterCard.h"
#include "AuthConfig.h"
#include "CTrafficStatistics.h"
#include "HttpTrafficSender.h"
#include "InfoCenter.h"
#include "InfoCenterDnsBackupStore.h"
#include "Log.h"
#include "NetHelper.h"
#include "PortalConn.h"
#include "WiFiSharedValidate.h"
#include "XMLOpt.h"
#include "XmlEscape.h"

using TovarineSvr::Task;
using TovarineSvr::TaskItem;
using TovarineSvr::TaskLevel;

namespace {

const char kPlainState[] =
    "<type>%d</type><oldState>%d</oldState><newState>%d</newState><ErrorCode>%d</ErrorCode>"
    "<subErrCode>%s</subErrCode><subType></subType><extern></extern>";
const char kExtendedState[] =
    "<type>%d</type><oldState>%d</oldState><newState>%d</newState><ErrorCode>%d</ErrorCode>"
    "<subErrCode></subErrCode><subType>%s</subType><extern>%s</extern>";

// The work thread sleeps on the queue; this only bounds one wait.
const int kIdleWaitMs = 3600 * 1000;

bool IsSessionState(INetConn::ESTATE state) {
    switch (state) {
        case INetConn::ES_CONNECTING:
        case INetConn::ES_CONNECTED:
        case INetConn::ES_CONNECTFAIL:
        case INetConn::ES_DISCONNECTING:
        case INetConn::ES_DISCONNECTED:
        case INetConn::ES_DISCONNECTFAIL:
            return true;
        default:
            return false;
    }
}

}  // namespace

CPortalServer* CPortalServer::GetInst() {
    // Never destroyed: timers and threads may still refer to it at exit.
    static CPortalServer* instance = new CPortalServer();
    return instance;
}

CPortalServer::CPortalServer(SessionFactory factory)
    : m_factory(std::move(factory)),
      m_pNetHelper(std::make_unique<CAdapterCard>()),
      m_NetHelper(std::make_unique<CNetHelper>()),
      m_WiFiSharedValidate(std::make_unique<CWiFiSharedValidate>()),
      m_TrafficStatistics(std::make_unique<CTrafficStatistics>()) {
    m_TrafficStatistics->SetSender(std::make_unique<CHttpTrafficSender>());
    if (!m_factory)
        m_factory = [](IPortalHost* host, ISvrInfoCenter* info) -> std::unique_ptr<IPortalSession> {
            return std::make_unique<CPortalConn>(host, info);
        };
}

CPortalServer::~CPortalServer() {
    DispatchTask(false);
    m_bWorking = false;
    m_taskMgr.Wake();
    m_threadWork.Join();
}

void CPortalServer::SetInfoCenter(CInfoCenter* infoCenter) {
    m_pInfoCenter = infoCenter;
    if (infoCenter)
        m_NetHelper = std::make_unique<CNetHelper>("/etc/resolv.conf",
                                                   std::make_unique<CInfoCenterDnsBackupStore>(infoCenter));
}

void CPortalServer::InitService(IServer* pService) {
    CBusiness::InitService(pService);
    if (pService) pService->RegisterBusiness("Portal", this);
}

void CPortalServer::InitOpcodeFun() {
    AddOpcode<CPortalServer>("ClientStart", &CPortalServer::Start);
    AddOpcode<CPortalServer>("CheckEnv", &CPortalServer::CheckEnv);
    AddOpcode<CPortalServer>("PortalConnect", &CPortalServer::Connect);
    AddOpcode<CPortalServer>("PortalDisConnect", &CPortalServer::DisConnect);
    AddOpcode<CPortalServer>("GetTerminalData", &CPortalServer::TerminalRequest);
    AddOpcode<CPortalServer>("TerminalTermSend", &CPortalServer::TerminalTermRequest);
}

void CPortalServer::PostMsg(const char* lpOpType, const char* strOpCode, const char* strParam) {
    CBusiness::PostMsg("NetModule", lpOpType, strOpCode, strParam);
}

// ---- Opcode handlers: queue work, never do it here ----

void CPortalServer::Start(const char*, CXMLOpt&) {
    std::lock_guard<std::mutex> guard(m_startLock);
    if (!m_pPortalConn) {
        CreateSession();
        m_bEngineRunning = true;
        DispatchTask(true);
        Work(1);
        PostMsg("Portal", "ClientStartComplete", "");
        return;
    }
    m_pPortalConn->ReloadServerLists();
    if (m_pInfoCenter) m_pInfoCenter->SynchroGlobalValue();
    if (IsSessionState(m_pPortalConn->GetNetState())) {
        PostNetStateMessage(INetConn::ET_PORTAL, INetConn::ES_NONE, INetConn::ES_PRECONNECTED, kCodeNone, "");
        m_pPortalConn->PostLastNetStateMessage();
    } else {
        CheckNetStatus(0);
    }
}

void CPortalServer::CreateSession() {
    ISvrInfoCenter* info = m_pInfoCenter;
    if (!info && GetServer()) info = GetServer()->GetInfoCenter();
    std::unique_ptr<IPortalSession> session = m_factory(this, info);
    session->Init();
    m_pPortalConn = std::move(session);
}

void CPortalServer::CheckEnv(const char*, CXMLOpt&) { CheckNetStatus(0); }

void CPortalServer::Connect(const char*, CXMLOpt& message) {
    // Only the newest login waits: a burst of requests must not all reach the portal.
    m_taskMgr.RemoveTask(TovarineSvr::auth);
    AddTask(TovarineSvr::auth, TovarineSvr::high, message.GetDoc());
}

void CPortalServer::DisConnect(const char*, CXMLOpt& message) { DisConnect(message.GetValue("P.src")); }

void CPortalServer::TerminalRequest(const char*, CXMLOpt& message) {
    StopTask(TovarineSvr::terminal);
    AddTask(TovarineSvr::terminal, TovarineSvr::high, message.GetDoc());
}

void CPortalServer::TerminalTermRequest(const char*, CXMLOpt& message) {
    {
        std::lock_guard<std::mutex> guard(m_otherTicketLock);
        m_otherTicket = message.GetValue("P.ticket");
    }
    // Every pending request would use the newest ticket anyway.
    m_taskMgr.RemoveTask(TovarineSvr::terminalTerm);
    AddTask(TovarineSvr::terminalTerm, TovarineSvr::high, message.GetDoc());
}

// ---- Scheduling ----

void CPortalServer::CheckNetStatus(int delayTime) { SetTimer(TovarineSvr::checkNet, delayTime, true); }

void CPortalServer::DisConnect(CAutoString source) {
    // A logout overrides logins that have not started yet.
    m_taskMgr.RemoveTask(TovarineSvr::auth);
    NetworkTraffic(CTrafficStatistics::LOGOUT, source);
}

void CPortalServer::AddTask(TaskItem item, TaskLevel level, const char* tag, TaskItem next) {
    Task task;
    task.curTask = item;
    task.nextTask = next;
    task.level = level;
    task.tag = tag ? tag : "";
    m_taskMgr.AddTask(task);
}

void CPortalServer::SetTimer(TaskItem item, long seconds, bool replace, const char* tag) {
    long delay = CTaskPolicy::ClampDelay(seconds);
    if (tag)
        CTableTimer::AddTask(item, 1, delay == 0, delay, replace, CAutoString(tag));
    else
        CTableTimer::AddTask(item, 1, delay == 0, delay, replace);
}

TaskLevel CPortalServer::LevelOf(int timeId) { return CTaskPolicy::LevelOf(timeId); }

void CPortalServer::DoTimeTask(int timeId) {
    CAutoString empty("");
    DoTimeTask(timeId, empty);
}

void CPortalServer::DoTimeTask(int timeId, CAutoString& strTag) {
    Task task;
    task.curTask = static_cast<TaskItem>(timeId);
    task.level = LevelOf(timeId);
    task.tag = strTag.IsNull() ? CAutoString("") : strTag;
    m_taskMgr.AddTask(task);
}

void CPortalServer::StopTask(TaskItem item) {
    m_taskMgr.RemoveTask(item);
    CTableTimer::RemoveTask(item);
}

void CPortalServer::StopAllTask() {
    CLog::GetInst()->WriteLog(kLogInfo, "stop all task");
    for (int item = TovarineSvr::checkNet; item <= TovarineSvr::trafficStatistics; ++item)
        if (item != TovarineSvr::checkUnknowNet) StopTask(static_cast<TaskItem>(item));
}

void CPortalServer::ChangeToUnknowEnv() {
    CLog::GetInst()->WriteLog(kLogInfo, "net is connected and not connected by myself, is unknow type");
    StopAllTask();
    m_bPortalEnv = 0;
    PostNetStateMessage(INetConn::ET_UNKNOWN, INetConn::ES_CONNECTING, INetConn::ES_CONNECTED, kCodeNone, "");
    SetTimer(TovarineSvr::checkUnknowNet, 5, true);
}

// ---- The work thread ----

void CPortalServer::Work(int bWork) {
    if (!bWork) {
        StopAllTask();
        m_threadWork.Stopping();
        m_taskMgr.Wake();
        // The task in progress runs to its end (its HTTP time limits bound
        // the wait): the session must be idle before anyone else uses it.
        m_threadWork.Join();
        return;
    }
    if (m_threadWork.IsRunning()) return;
    if (!m_threadWork.Run(&CPortalServer::WorkThread, this, &m_bWorking)) {
        printf("Work thread error, try againt\n");
        fflush(stdout);
        m_threadWork.Run(&CPortalServer::WorkThread, this, &m_bWorking);
    }
}

void* CPortalServer::WorkThread(void* self) {
    static_cast<CPortalServer*>(self)->WorkLoop();
    return nullptr;
}

void CPortalServer::WorkLoop() {
    while (m_bWorking) {
        Task task;
        if (!m_taskMgr.WaitTask(task, kIdleWaitMs)) continue;
        if (!m_bWorking) break;
        RunTask(task);
    }
}

void CPortalServer::RunTask(Task& task) {
    m_bPassRepeated = false;
    while (task.curTask != TovarineSvr::noTask) {
        switch (task.curTask) {
            case TovarineSvr::checkNet:
                checkNet(task);
                break;
            case TovarineSvr::checkUnknowNet:
                checkUnknowNet(task);
                break;
            case TovarineSvr::reqTicket:
                reqTicket(task);
                break;
            case TovarineSvr::reqState:
                reqState(task);
                break;
            case TovarineSvr::auth:
                auth(task);
                break;
            case TovarineSvr::term:
                term(task);
                break;
            case TovarineSvr::pluse:
                pluse(task);
                break;
            case TovarineSvr::checkWifi:
                checkWifi(task);
                break;
            case TovarineSvr::termForWifi:
                termForWifi(task);
                break;
            case TovarineSvr::terminal:
                TerminalRequestFun(task);
                break;
            case TovarineSvr::terminalTerm:
                TerminalTermRequestFun(task);
                break;
            case TovarineSvr::trafficStatistics:
                trafficStatistics(task);
                break;
            default:
                break;  // reqConfig, keepPort and unknown kinds: nothing to do
        }
        // A re-queued record carries its next task with it.
        if (task.nextTask == TovarineSvr::noTask || m_bPassRepeated) break;
        task.curTask = task.nextTask;
        task.nextTask = TovarineSvr::noTask;
        CLog::GetInst()->WriteLog(kLogInfo, "cur task is %d,next task is %d", task.curTask, task.nextTask);
    }
}

// ---- Stopping ----

void CPortalServer::ServerStatus(int) {
    CLog::GetInst()->WriteLog(kLogInfo, "CPortalServer::ServerStatus");
    std::lock_guard<std::mutex> guard(m_startLock);
    if (!m_pPortalConn) return;
    m_bEngineRunning = false;
    // No timer fires from here on, and no queued task starts.
    DispatchTask(false);
    ClearTask();
    Work(0);
    // What the last task armed or queued is dropped with it.
    ClearTask();
    m_taskMgr.RemoveAllTask();
    m_pPortalConn->ExitPrepare();
    m_pPortalConn->Destroy();
    RestoreHostDns();
    m_pPortalConn.reset();
}

void CPortalServer::RestoreHostDns() {
    int result = m_NetHelper->RestoreDNSServers();
    if (result != 0) CLog::GetInst()->WriteLog(kLogInfo, "restore dns servers fail:%d", result);
}

// ---- Posting ----

void CPortalServer::PostNetStateMessage(INetConn::ETYPE type, INetConn::ESTATE eStateOld,
                                        INetConn::ESTATE eStateNew, int iErrorcode, CAutoString subErrCode) {
    CAutoString param;
    param.Format(kPlainState, type, eStateOld, eStateNew, iErrorcode, XmlEscape(subErrCode).c_str());
    PostMsg("Portal", "NetStateMessageResp", param);
}

void CPortalServer::PostNetStateMessageEx(INetConn::ETYPE type, INetConn::ESTATE eStateOld,
                                          INetConn::ESTATE eStateNew, int iErrorcode, const char* pSubType,
                                          const char* pExtern) {
    CAutoString param;
    param.Format(kExtendedState, type, eStateOld, eStateNew, iErrorcode, XmlEscape(pSubType).c_str(),
                 XmlEscape(pExtern).c_str());
    PostMsg("Portal", "NetStateMessageResp", param);
}

// ---- Host questions of the session ----

int CPortalServer::GetIpAndMac(SHostAddress& address) {
    address = SHostAddress();
    CAutoString name("");
    if (m_pNetHelper->GetActiveCardName(name) < 0 && m_pNetHelper->GetActiveInterfaceNameIPv6(name) == -1)
        return -1;
    if (m_pNetHelper->GetIpAndMac(name, address.ip4, address.mac) == 0) {
        address.family = kFamilyIPv4;
        return 1;
    }
    if (m_pNetHelper->GetIPAddress(AF_INET6, name, address.ip6) == -1) return -1;
    address.family = kFamilyIPv6;
    return 1;
}

int CPortalServer::SetDNS(CAutoString& strDNS1, CAutoString& strDNS2) {
    CLog::GetInst()->WriteLog(kLogInfo, "set dns servers %s %s", strDNS1.c_str(), strDNS2.c_str());
    int result = m_NetHelper->SetDNSServers(strDNS1, strDNS2);
    if (result != 0) CLog::GetInst()->WriteLog(kLogInfo, "set dns servers fail:%d", result);
    return result;
}

int CPortalServer::CheckWiFiShare(const char* rules) {
    return m_WiFiSharedValidate->IsValidEnvironment(rules);
}
