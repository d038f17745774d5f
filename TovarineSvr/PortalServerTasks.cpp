// The portal business's task handlers and its traffic statistics schedule.
// Everything here runs on the work thread, except NetworkTraffic for a
// logout, which the message thread calls.
#include <cstdlib>

#include "AdapterCard.h"
#include "AuthConfig.h"
#include "CTrafficStatistics.h"
#include "InfoCenter.h"
#include "Log.h"
#include "Markup.h"
#include "NetHelper.h"
#include "PortalConn.h"
#include "PortalServer.h"
#include "WiFiSharedValidate.h"
#include "XMLOpt.h"
#include "XmlEscape.h"

using TovarineSvr::Task;
using TovarineSvr::TaskItem;
using TovarineSvr::TaskLevel;

namespace {

// Tag of the network check a ticket failover queues.
const char kFailoverTag[] = "failover";

bool IsSessionTask(TaskItem item) { return item == TovarineSvr::auth || item == TovarineSvr::term; }

}  // namespace

bool CPortalServer::Repeat(Task& task) {
    if (m_policy.MayRunAgain(task.curTask)) {
        m_bPassRepeated = true;
        m_taskMgr.AddTask(task);
        return true;
    }
    // A portal that keeps asking for another module would otherwise keep
    // this task busy for ever.
    CLog::GetInst()->WriteLog(kLogInfo, "task %d asked to run again too often, give up", task.curTask);
    if (!m_pPortalConn) return false;
    if (IsSessionTask(task.curTask))
        m_pPortalConn->NetStateChange(INetConn::ES_CONNECTING, INetConn::ES_CONNECTFAIL,
                                      kCodeModuleUpdateFailed, "");
    else
        m_pPortalConn->NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL,
                                      kCodeModuleUpdateFailed, "");
    return false;
}

bool CPortalServer::RunAgain(Task& task, int& result) {
    if (result == kResultRunAgain) {
        if (Repeat(task)) return true;
        result = kResultUpdateFailed;
        return false;
    }
    m_policy.ResetRunAgain(task.curTask);
    return false;
}

void CPortalServer::StartHeartbeats() {
    m_bPortalEnv = 1;
    StopTask(TovarineSvr::reqTicket);
    StopTask(TovarineSvr::reqState);
    SetTimer(TovarineSvr::pluse, 0, true);
    CAuthConfig* config = m_pPortalConn->GetAuthConfig();
    if (config && config->checkWifiInterval != 0) SetTimer(TovarineSvr::checkWifi, 2, true);
}

void CPortalServer::checkNet(Task& task) {
    CLog::GetInst()->WriteLog(kLogInfo, "check net status start");
    if (!m_pPortalConn) return;
    IPortalSession& conn = *m_pPortalConn;
    // A check that follows a ticket failover carries on with its allowance.
    if (!(task.tag == kFailoverTag)) conn.BeginNetworkCheck();
    conn.NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTING, kCodeCheckStarted, "");
    CAutoString name("");
    if (m_pNetHelper->GetActiveCardName(name) < 0 && m_pNetHelper->GetActiveInterfaceNameIPv6(name) < 0) {
        CLog::GetInst()->WriteLog(kLogInfo, "no valid net card");
        conn.NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeNoInterface, "");
        m_bPortalEnv = 0;
        conn.ExitPrepare();
        return;
    }
    SHostAddress address;
    int found = GetIpAndMac(address);
    conn.UseAddress(address);
    if (found != 1) {
        conn.NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeNoAddress, "");
        return;
    }
    conn.SetServerIp();
    int result = conn.RequestConfig(0);
    if (result == kResultDone) {
        // The portal intercepts: no session of ours is live, so servers an
        // earlier run left in the resolver file go.
        RestoreHostDns();
        m_bPortalEnv = 1;
        conn.ResetNetConfig();
        CLog::GetInst()->WriteLog(kLogInfo, "[CPortalServer::checkNet]reqTicket...");
        AddTask(TovarineSvr::reqTicket);
    } else if (result == kResultNothing) {
        if (conn.GetConnCfg() == 1) {
            CLog::GetInst()->WriteLog(kLogInfo, "net is connected,now disconnect");
            AddTask(TovarineSvr::term, TovarineSvr::normal, "5", TovarineSvr::checkNet);
        } else {
            RestoreHostDns();
            ChangeToUnknowEnv();
        }
    } else {
        m_bPortalEnv = 0;
        CLog::GetInst()->WriteLog(kLogInfo, "check net status is fail");
        conn.NetStateChange(INetConn::ES_PRECONNECTING, INetConn::ES_PRECONNECTFAIL, kCodeCheckFailed, "");
    }
}

void CPortalServer::checkUnknowNet(Task&) {
    CLog::GetInst()->WriteLog(kLogInfo, "checkUnknowNet");
    if (m_bPortalEnv) {
        CLog::GetInst()->WriteLog(kLogInfo, "checkUnknowNet return portal env");
        return;
    }
    if (!m_pPortalConn) return;
    int result = m_pPortalConn->RequestConfig(0);
    if (result == kResultDone) {
        CLog::GetInst()->WriteLog(kLogInfo, "env change to portal");
        m_bPortalEnv = 1;
        AddTask(TovarineSvr::reqTicket);
    } else if (result == kResultNothing) {
        CLog::GetInst()->WriteLog(kLogInfo, "env still unknow env");
        AddTask(TovarineSvr::reqState);
    } else {
        SetTimer(TovarineSvr::checkUnknowNet, 5, true);
    }
}

void CPortalServer::reqTicket(Task& task) {
    if (!m_pPortalConn) return;
    int result = m_pPortalConn->RequestTicket();
    if (RunAgain(task, result)) return;
    if (result == kResultSwitchedServer) {
        AddTask(TovarineSvr::checkNet, TovarineSvr::normal, kFailoverTag);
    } else if (result == kResultDone) {
        CAuthConfig* config = m_pPortalConn->GetAuthConfig();
        SetTimer(TovarineSvr::reqTicket, CTaskPolicy::TicketRefreshSeconds(config ? config->expire : 0),
                 true);
        SetTimer(TovarineSvr::reqState, 0, false);
    }
}

void CPortalServer::reqState(Task& task) {
    if (!m_pPortalConn) return;
    int result = m_pPortalConn->CheckConnectState(1);
    if (RunAgain(task, result)) return;
    if (result == kResultDone) {
        StartHeartbeats();
    } else if (result == kResultSessionEnded) {
        RestoreHostDns();
        StopTask(TovarineSvr::pluse);
        StopTask(TovarineSvr::checkWifi);
        StopTask(TovarineSvr::termForWifi);
        StopTask(TovarineSvr::trafficStatistics);
        AddTask(TovarineSvr::reqTicket);
    } else if (result != kResultFailed) {
        CAuthConfig* config = m_pPortalConn->GetAuthConfig();
        SetTimer(TovarineSvr::reqState, CTaskPolicy::StateQuerySeconds(config ? config->stateInterval : 0),
                 false);
    }
}

void CPortalServer::auth(Task& task) {
    if (!m_pPortalConn) return;
    int result = m_pPortalConn->Connect(task.tag);
    if (RunAgain(task, result)) return;
    if (result == kResultDone) {
        // A request that waited behind this login would only log in again.
        m_taskMgr.RemoveTask(TovarineSvr::auth);
        StartHeartbeats();
        NetworkTraffic(CTrafficStatistics::LOGIN, CAutoString(""));
    } else {
        AddTask(TovarineSvr::reqTicket, TovarineSvr::high);
    }
}

void CPortalServer::term(Task& task) {
    if (!m_pPortalConn) return;
    int result = m_pPortalConn->DisConnect(task.tag);
    if (RunAgain(task, result)) return;
    // The session is over whatever the portal answered (a user who left
    // campus gets no answer at all): the portal's servers must not outlive it.
    RestoreHostDns();
    if (result != kResultDone) return;
    StopTask(TovarineSvr::pluse);
    StopTask(TovarineSvr::checkWifi);
    StopTask(TovarineSvr::termForWifi);
    // No periodic report outlives its session.
    StopTask(TovarineSvr::trafficStatistics);
    if (!(task.tag == "2") && !(task.tag == "7")) AddTask(TovarineSvr::reqTicket);
}

void CPortalServer::pluse(Task& task) {
    CLog::GetInst()->WriteLog(kLogInfo, "pulse");
    if (!m_pPortalConn) return;
    int result = m_pPortalConn->KeepPluse();
    if (RunAgain(task, result)) return;
    if (result == kResultNothing || result == kResultDone) {
        CAuthConfig* config = m_pPortalConn->GetAuthConfig();
        SetTimer(TovarineSvr::pluse,
                 m_policy.HeartbeatSeconds(config ? config->iInterval : 0, result == kResultDone), true);
    } else if (result == kResultSessionEnded) {
        RestoreHostDns();
        StopTask(TovarineSvr::pluse);
        AddTask(TovarineSvr::reqState);
    } else {
        StopTask(TovarineSvr::pluse);
        AddTask(TovarineSvr::term, TovarineSvr::normal, "3");
    }
}

void CPortalServer::checkWifi(Task&) {
    CAuthConfig* config = m_pPortalConn ? m_pPortalConn->GetAuthConfig() : nullptr;
    if (!config || config->againstList.IsEmpty()) return;
    config->checkResult = CheckWiFiShare(config->againstList);
    if (config->checkResult == 0) {
        if (config->checkWifiInterval != 0)
            SetTimer(TovarineSvr::checkWifi, static_cast<long>(config->checkWifiInterval), true);
        return;
    }
    StopTask(TovarineSvr::checkWifi);
    SetTimer(TovarineSvr::termForWifi, static_cast<long>(config->logoutDelay), false);
    CLog::GetInst()->WriteLog(kLogInfo, "wifi shared found:%s", m_WiFiSharedValidate->GetDisplayName());
}

void CPortalServer::termForWifi(Task&) { DisConnect(CAutoString("6")); }

void CPortalServer::TerminalRequestFun(Task&) {
    if (!m_pPortalConn) return;
    CAutoString xml("");
    int result = m_pPortalConn->TerminalRequestData(xml);
    if (result != kResultDone) {
        CLog::GetInst()->WriteLog(kLogInfo, "TerminalRequestData request error:ret:%d", result);
        return;
    }
    // The portal's list goes in as markup only when it is one element;
    // anything else could close the envelope and open another.
    if (!CMarkup(xml).IsWellFormed()) xml = XmlEscape(xml);
    CAuthConfig* config = m_pPortalConn->GetAuthConfig();
    CAutoString tail;
    tail.Format("<host>%s</host><ticket>%s</ticket>",
                XmlEscape(config ? config->hostName.c_str() : "").c_str(),
                XmlEscape(config ? config->strTicket.c_str() : "").c_str());
    xml += tail;
    PostMsg("Portal", "SetTerminalData", xml);
    CLog::GetInst()->WriteLog(kLogInfo, "post TERMINAL_RESP param is %s", xml.c_str());
}

void CPortalServer::TerminalTermRequestFun(Task&) {
    if (!m_pPortalConn) return;
    CAutoString ticket;
    {
        std::lock_guard<std::mutex> guard(m_otherTicketLock);
        ticket = m_otherTicket;
    }
    int result = m_pPortalConn->TerminalTermRequest(ticket);
    if (result == kResultDone) {
        AddTask(TovarineSvr::terminal, TovarineSvr::high);
        return;
    }
    CAutoString param;
    param.Format("<code>%d</code>", result);
    PostMsg("Portal", "TerminalTermReturn", param);
}

// ---- Traffic statistics ----

int CPortalServer::NetworkTraffic(int type, const CAutoString& strTag) {
    if (!m_bEngineRunning) return -1;
    if (type == CTrafficStatistics::LOGIN) {
        // Work thread: every login reads the setting afresh.
        CAuthConfig* config = m_pPortalConn ? m_pPortalConn->GetAuthConfig() : nullptr;
        if (!config) return -1;
        config->trafficStatisticsURL = "";
        auto found = config->funCfg.find(CAutoString("StatsInfor"));
        if (found != config->funCfg.end()) {
            CAutoString url("");
            long interval = 0;
            if (CTrafficStatistics::ReadStatsInfor(found->second, url, interval) == 1) {
                config->trafficStatisticsInterval = interval;
                config->trafficStatisticsURL = url;
            }
        }
        std::lock_guard<std::mutex> guard(m_statsLock);
        m_strStatsUrl = config->trafficStatisticsURL;
        m_lStatsInterval = config->trafficStatisticsInterval;
        m_bLogoutReportPending = false;
    }

    std::lock_guard<std::mutex> guard(m_statsLock);
    CLog::GetInst()->WriteLog(kLogInfo, "[CPortalServer::NetworkTraffic] trafficStatisticsURL is :%s",
                              m_strStatsUrl.c_str());
    if (m_strStatsUrl.IsEmpty()) {
        if (type == CTrafficStatistics::LOGOUT) AddTask(TovarineSvr::term, TovarineSvr::high, strTag);
        return -1;
    }
    CAutoString timerTag;
    timerTag.Format("<tag><type>%d</type><next>%s</next></tag>", type, XmlEscape(strTag).c_str());
    switch (type) {
        case CTrafficStatistics::LOGOUT:
            m_bLogoutReportPending = true;
            SetTimer(TovarineSvr::trafficStatistics, 0, true, timerTag);
            break;
        case CTrafficStatistics::LOGIN:
            SetTimer(TovarineSvr::trafficStatistics, 0, true, timerTag);
            break;
        default:
            // No periodic reports without a positive interval, and none
            // once the logout report is on its way.
            if (m_lStatsInterval <= 0 || m_bLogoutReportPending) return -1;
            SetTimer(TovarineSvr::trafficStatistics, m_lStatsInterval, false, timerTag);
            break;
    }
    return 0;
}

void CPortalServer::trafficStatistics(Task& task) {
    CXMLOpt tag(task.tag);
    if (!tag.IsWellFormed()) return;
    CAutoString typeText = tag.GetValue("type");
    CAutoString next = tag.GetValue("next");
    if (typeText.IsEmpty()) return;
    int type = atoi(typeText);
    NetworkTrafficStatistics(type);
    if (type == CTrafficStatistics::LOGOUT) {
        {
            std::lock_guard<std::mutex> guard(m_statsLock);
            m_bLogoutReportPending = false;
        }
        // The logout follows its report whatever became of the report.
        AddTask(TovarineSvr::term, TovarineSvr::high, next);
        return;
    }
    if (type != CTrafficStatistics::LOGIN && type != CTrafficStatistics::TIMING) return;
    {
        // A logout report scheduled meanwhile must not be swept away.
        std::lock_guard<std::mutex> guard(m_statsLock);
        if (m_bLogoutReportPending) return;
        StopTask(TovarineSvr::trafficStatistics);
    }
    NetworkTraffic(CTrafficStatistics::TIMING, next);
}

void CPortalServer::NetworkTrafficStatistics(int type) {
    CAuthConfig* config = m_pPortalConn ? m_pPortalConn->GetAuthConfig() : nullptr;
    if (!config) return;
    int result = m_TrafficStatistics->NetworkTrafficStatistics(
        config->trafficStatisticsURL, config->userName, config->schoolId, config->ip4, config->wlancip,
        static_cast<CTrafficStatistics::tag_STATISTICS_TYPE>(type));
    if (result != 0) CLog::GetInst()->WriteLog(kLogInfo, "traffic statistics %d result %d", type, result);
}
