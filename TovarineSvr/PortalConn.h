// CPortalConn: the one portal session. Detection of the portal, its
// configuration, the seven request-response exchanges, server failover and
// the connection state with its messages to the client. Every method runs on
// the portal business's work thread, except the state replay on a second
// "ClientStart" (reads only) and Destroy (on the stopping thread, after the
// work thread has ended). Steps return an EPortalResult.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "AutoString.h"
#include "INetConn.h"
#include "IPortalHost.h"
#include "NetStateCode.h"
#include "PortalParser.h"
#include "PortalResult.h"
#include "TaskMgr.h"
#include "WeightCalculator.h"

struct CAuthConfig;
class CHttpData;
class ISvrInfoCenter;

class CPortalConn : public INetConn {
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
    int Init();
    int InitPortalConf();
    void InitEnviromment() {}
    CAuthConfig* GetAuthConfig() { return m_pPortalConf.get(); }
    CPortalParser& GetParser() { return m_portalParse; }

    // States and messages.
    void NetStateChange(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, CAutoString subErrCode);
    void PostNetStateMessage(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, CAutoString subErrCode);
    void PostNetStateMessageEx(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, const char* pSubType,
                               const char* pExtern);
    void PostLastNetStateMessage();
    void PostError(ESTATE eState, unsigned long code, long httpErrCode, int bStopAll);
    static int GetErrorCode(CHttpData& httpData, CAutoString& subErrCode);
    ESTATE GetNetState() const { return m_eState.load(); }
    // Pause after a pre-connect post so the window shows each step; tests set 0.
    void SetPreconnectPauseMs(unsigned ms) { m_preconnectPauseMs = ms; }

    // Detection and configuration.
    int CheckNetEnv();
    int IsRequestRedirect(CHttpData* resp);
    int RequestConfig(int bPostErr);

    // Exchanges.
    int RequestPortalServer(TovarineSvr::TaskItem verb, CHttpData* pData, unsigned long& errCode,
                            CAutoString& subErrCode, int httpRetry);
    int _RequestTicket();
    int RequestTicket();
    int CheckConnectState(int bPostErr);
    int KeepPluse();
    void Destroy();
    int TerminalRequestData(CAutoString& pXml);
    int TerminalTermRequest(CAutoString ticket);
    void SaveAuthResponse(CAutoString& userName, int& retry, CAutoString& strKeepUrl, CAutoString& strTermUrl,
                          CAutoString& strUserConfig, const CAutoString& strDomainConfig);
    void AccountTran();
    void SendData(const char* key, const char* value);
    static int IsTelNum(CAutoString text);
    // Heartbeat failures tolerated, as far as the portal may ask: 0..kMaxKeepRetry.
    static int ClampKeepRetry(int retry) {
        return retry < 0 ? 0 : retry > kMaxKeepRetry ? kMaxKeepRetry : retry;
    }
    CAutoString GetMD5FromPostData(const char* postData);
    CAutoString GetRequestHead(const char* postData);
    int UpdateAlgoid(CHttpData* pData);
    int SetDNS(CAutoString& strDomainConfig);

    // Clusters and bookkeeping.
    // Also 0 once this network check has moved kMaxFailovers times or for
    // kMaxFailoverSeconds: a list of dead servers must not hold the work thread.
    int GetNewServerIP(CAutoString& url);
    // A network check starts: its failover allowance starts afresh.
    void BeginNetworkCheck();
    void SetServerIp();
    void ResetNetConfig();
    int GetConnCfg();
    void SetConnCfg(int state);
    // A second "ClientStart": load a cluster list that is empty but known.
    void ReloadServerLists();
    int DisasterRecovery(CAutoString addr);

    // The probe URL used when "redirect" is not set locally.
    static const char kDefaultProbeUrl[];
    // Redirects detection follows before it gives up (kResultDetectLoop).
    static constexpr int kMaxDetectHops = 16;
    // "Run again" answers a terminal exchange repeats before it gives up.
    static constexpr int kMaxRepeats = 3;
    static constexpr int kMaxKeepRetry = 30;
    static constexpr int kMaxFailovers = 8;
    static constexpr int kMaxFailoverSeconds = 60;

private:
    // Fills a portal POST record; body and head must outlive the request.
    void PrepareRequest(CHttpData& data, const char* url, const CAutoString& body, const CAutoString& head,
                        unsigned long timeOutMs);
    // Sends through the common path with a fresh header block.
    int SendPortalRequest(TovarineSvr::TaskItem verb, CHttpData& data, const char* url,
                          const CAutoString& body, unsigned long timeOutMs, unsigned long& errCode,
                          CAutoString& subErrCode);
    // Post with the last-message fields under m_lastLock; the host escapes the texts.
    void PostPlainLocked(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, const CAutoString& subErrCode);
    void PostExLocked(ESTATE eStateOld, ESTATE eStateNew, int iErrorcode, const CAutoString& subType,
                      const CAutoString& strExtern);
    // A portal server answering 5xx: the server-down bookkeeping.
    int ServerDown(const char* url, int result);
    void PublishServerList();

    IPortalHost* m_pHost;
    ISvrInfoCenter* m_pInfoCenter;

    CPortalParser m_portalParse;
    int m_ConnnectType = 0;
    int m_bSetAuthConf = 0;
    std::mutex m_stateLock;
    CAutoString m_redirectUrl{""};
    CAutoString m_redirectUrlIpv6{""};
    CAutoString m_lastRedirectUrl{""};
    CAutoString m_configXML{""};
    CAutoString m_strDNS1{""};
    CAutoString m_strDNS2{""};
    int m_keepRetry = 0;
    CAutoString m_DisasterUrl{""};
    int m_nServerState = 1;

    std::atomic<ESTATE> m_eState{ES_NONE};
    ESTATE m_lastState = ES_NONE;
    ESTATE m_lastOldState = ES_NONE;
    int m_lastErrorcode = 0;
    CAutoString m_lastSubErrCode{""};
    int m_lastErrType = -1;  // -1 none yet, 0 plain, 1 extended
    CAutoString m_lastSubType{""};
    CAutoString m_lastExtern{""};
    std::mutex m_lastLock;  // the replay reads these from the message thread

    std::unique_ptr<CAuthConfig> m_pPortalConf;
    HashBalance m_hashBalance4;
    HashBalance m_hashBalance6;
    // The lists and their texts: a second "ClientStart" reloads them from the message thread.
    std::mutex m_clusterLock;
    int m_failovers = 0;  // the two below under m_clusterLock
    std::chrono::steady_clock::time_point m_checkStart = std::chrono::steady_clock::now();
    unsigned m_preconnectPauseMs = 500;
};
