// CPortalConn: the one portal session. A face over its parts, the state
// reporter (CPortalStateReporter), the server cluster (CPortalCluster) and
// the portal detector (CPortalDetector), that runs the request-response
// exchanges itself: ticket, login, state query, heartbeat, logout and the
// terminal exchanges, with their common request path. Every method runs on
// the portal business's work thread, except the state replay on a second
// "ClientStart" and the cluster reload (message thread) and Destroy (on the
// stopping thread, after the work thread has ended).
#pragma once

#include <memory>
#include <mutex>

#include "AutoString.h"
#include "IPortalSession.h"
#include "NetStateCode.h"
#include "PortalCluster.h"
#include "PortalDetector.h"
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
    int Connect(const char* pXmlStr) override;
    int DisConnect(const char* pSrc) override;
    int IsPhisycalConnect() override { return 1; }
    int CheckIP() override { return _RequestTicket(); }
    void ExitPrepare() override {}

    // Start-up: seed the configuration, then the module.
    int Init() override;
    int InitPortalConf();
    CAuthConfig* GetAuthConfig() override { return m_pPortalConf.get(); }
    CPortalParser& GetParser() { return m_portalParse; }

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
    static int GetErrorCode(CHttpData& httpData, CAutoString& subErrCode);

    // Detection and configuration.
    int CheckNetEnv() { return m_detector.Detect(*m_pPortalConf); }
    int RequestConfig(int bPostErr) override;
    void UseAddress(const SHostAddress& address) override;
    void SetServerIp() override;
    void ResetNetConfig() override;

    // Clusters.
    int GetNewServerIP(CAutoString& url);
    void BeginNetworkCheck() override { m_cluster.BeginNetworkCheck(); }
    void ReloadServerLists() override { m_cluster.Reload(); }

    // Exchanges.
    int _RequestTicket();
    int RequestTicket() override;
    int CheckConnectState(int bPostErr) override;
    int KeepPluse() override;
    void Destroy() override;
    int TerminalRequestData(CAutoString& pXml) override;
    int TerminalTermRequest(CAutoString ticket) override;
    void AccountTran();
    // Stores a published value and tells the client, escaped.
    void SendData(const char* key, const char* value);
    // Heartbeat failures tolerated, as far as the portal may ask: 0..kMaxKeepRetry.
    static int ClampKeepRetry(int retry) {
        return retry < 0 ? 0 : retry > kMaxKeepRetry ? kMaxKeepRetry : retry;
    }

    // "Run again" answers a terminal exchange repeats before it gives up.
    static constexpr int kMaxRepeats = 3;
    static constexpr int kMaxKeepRetry = 30;

private:
    // The common request path: sends, fails over nothing, installs a module
    // the portal sends and reads the portal's Error-Code.
    int RequestPortalServer(TovarineSvr::TaskItem verb, CHttpData* pData, unsigned long& errCode,
                            CAutoString& subErrCode, int httpRetry);
    // Fills a portal POST record; body and head must outlive the request.
    void PrepareRequest(CHttpData& data, const char* url, const CAutoString& body, const CAutoString& head,
                        unsigned long timeOutMs);
    // Sends through the common path with a fresh header block.
    int SendPortalRequest(TovarineSvr::TaskItem verb, CHttpData& data, const char* url,
                          const CAutoString& body, unsigned long timeOutMs, unsigned long& errCode,
                          CAutoString& subErrCode);
    int UpdateAlgoid(CHttpData* pData);
    void SaveAuthResponse(CAutoString& userName, int& retry, CAutoString& strKeepUrl, CAutoString& strTermUrl,
                          CAutoString& strUserConfig, const CAutoString& strDomainConfig);
    // Applies the portal's DNS servers: 0, an errno value or kDnsBackupNotSaved; -1 without any.
    int SetDNS(CAutoString& strDomainConfig);
    // A portal server answering 5xx: the server-down bookkeeping.
    int ServerDown(const char* url, int result);

    IPortalHost* m_pHost;
    ISvrInfoCenter* m_pInfoCenter;
    CPortalStateReporter m_reporter;
    CPortalCluster m_cluster;
    CPortalDetector m_detector;
    CPortalParser m_portalParse;
    std::unique_ptr<CAuthConfig> m_pPortalConf;

    // The exchanges' own bookkeeping, work thread only.
    std::mutex m_stateLock;  // one state query at a time
    int m_ConnnectType = 0;
    int m_bSetAuthConf = 0;
    CAutoString m_strDNS1{""};
    CAutoString m_strDNS2{""};
    int m_keepRetry = 0;
};
