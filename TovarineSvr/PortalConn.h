// CPortalConn: the one portal session. A face over its parts, the state
// reporter (CPortalStateReporter), the server cluster (CPortalCluster), the
// portal detector (CPortalDetector) and the exchanges (CPortalExchanges:
// configuration, ticket, login, state query, heartbeat, logout and the
// terminal exchanges, with their common request path); it seeds the
// configuration record the parts share at start-up. Every method runs on
// the portal business's work thread, except the state replay on a second
// "ClientStart" and the cluster reload (message thread) and Destroy (on the
// stopping thread, after the work thread has ended).
#pragma once

#include <memory>

#include "AutoString.h"
#include "IPortalSession.h"
#include "NetStateCode.h"
#include "PortalCluster.h"
#include "PortalDetector.h"
#include "PortalExchanges.h"
#include "PortalParser.h"
#include "PortalResult.h"
#include "PortalStateReporter.h"
#include "TaskMgr.h"

struct CAuthConfig;
class CHttpData;
class ISvrInfoCenter;

class CPortalConn : public IPortalSession {
public:
    // The host (the business) posts messages and answers address and DNS
    // questions; the info center keeps what survives restarts. Neither is owned.
    CPortalConn(IPortalHost* host, ISvrInfoCenter* infoCenter);
    ~CPortalConn() override;
    CPortalConn(const CPortalConn&) = delete;
    CPortalConn& operator=(const CPortalConn&) = delete;

    // INetConn
    int Connect(const char* pXmlStr) override { return m_exchanges.Connect(pXmlStr); }
    int DisConnect(const char* pSrc) override { return m_exchanges.DisConnect(pSrc); }
    int IsPhisycalConnect() override { return 1; }
    int CheckIP() override { return m_exchanges._RequestTicket(); }
    void ExitPrepare() override {}

    // Start-up: seed the configuration, then the module.
    int Init() override;
    int InitPortalConf();
    CAuthConfig* GetAuthConfig() override { return m_pPortalConf.get(); }
    CPortalParser& GetParser() { return m_exchanges.Parser(); }

    // States and messages: the state reporter.
    void NetStateChange(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, CAutoString subErrCode) override {
        m_reporter.Change(eStateOld, eStateNew, iErrorcode, subErrCode);
    }
    void PostLastNetStateMessage() override { m_reporter.Replay(); }
    void PostError(ESTATE eState, unsigned long code, long httpErrCode, int /*bStopAll*/) {
        m_reporter.PostHttpError(eState, code, httpErrCode);
    }
    ESTATE GetNetState() const override { return m_reporter.State(); }
    // Pause after a pre-connect post so the window shows each step; tests set 0.
    void SetPreconnectPauseMs(unsigned ms) { m_reporter.SetPreconnectPauseMs(ms); }
    int GetConnCfg() override { return m_reporter.ConnectedRecord(); }
    static int GetErrorCode(CHttpData& httpData, CAutoString& subErrCode) {
        return CPortalExchanges::GetErrorCode(httpData, subErrCode);
    }

    // Detection and configuration.
    int CheckNetEnv() { return m_detector.Detect(*m_pPortalConf); }
    int RequestConfig(int bPostErr) override { return m_exchanges.RequestConfig(bPostErr); }
    void UseAddress(const SHostAddress& address) override { m_exchanges.UseAddress(address); }
    void SetServerIp() override;
    void ResetNetConfig() override;

    // Clusters.
    int GetNewServerIP(CAutoString& url) { return m_exchanges.GetNewServerIP(url); }
    void BeginNetworkCheck() override { m_cluster.BeginNetworkCheck(); }
    void ReloadServerLists() override { m_cluster.Reload(); }

    // Exchanges.
    int _RequestTicket() { return m_exchanges._RequestTicket(); }
    int RequestTicket() override { return m_exchanges.RequestTicket(); }
    int CheckConnectState(int bPostErr) override { return m_exchanges.CheckConnectState(bPostErr); }
    int KeepPluse() override { return m_exchanges.KeepPluse(); }
    void Destroy() override;
    int TerminalRequestData(CAutoString& pXml) override { return m_exchanges.TerminalRequestData(pXml); }
    int TerminalTermRequest(CAutoString ticket) override { return m_exchanges.TerminalTermRequest(ticket); }
    void AccountTran() { m_exchanges.AccountTran(); }
    void SendData(const char* key, const char* value) { m_exchanges.SendData(key, value); }
    static int ClampKeepRetry(int retry) { return CPortalExchanges::ClampKeepRetry(retry); }

    static constexpr int kMaxRepeats = CPortalExchanges::kMaxRepeats;
    static constexpr int kMaxKeepRetry = CPortalExchanges::kMaxKeepRetry;

private:
    ISvrInfoCenter* m_pInfoCenter;
    CPortalStateReporter m_reporter;
    CPortalCluster m_cluster;
    CPortalDetector m_detector;
    // Shared by the parts; InitPortalConf refills it in place.
    std::unique_ptr<CAuthConfig> m_pPortalConf;
    CPortalExchanges m_exchanges;
};
