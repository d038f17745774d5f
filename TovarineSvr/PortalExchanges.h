// CPortalExchanges: the session's request-response exchanges with the portal
// and their common request path: configuration, ticket, login, state query,
// heartbeat, logout and the terminal exchanges. The common path installs a
// module the portal sends and reads the portal's Error-Code; a login applies
// the portal's DNS servers. Owns the request codec and the exchanges'
// counters; reports through the session's state reporter, fails over through
// its cluster, and reads and writes the session's configuration record.
// Work thread only (the logout of Destroy runs after the work thread ended).
#pragma once

#include <mutex>

#include "AutoString.h"
#include "INetConn.h"
#include "IPortalHost.h"
#include "PortalParser.h"
#include "TaskMgr.h"

struct CAuthConfig;
class CHttpData;
class CPortalCluster;
class CPortalDetector;
class CPortalStateReporter;
class ISvrInfoCenter;

class CPortalExchanges {
public:
    // None is owned; all outlive the exchanges.
    CPortalExchanges(IPortalHost* host, ISvrInfoCenter* infoCenter, CPortalStateReporter& reporter,
                     CPortalCluster& cluster, CPortalDetector& detector, CAuthConfig& conf);
    CPortalExchanges(const CPortalExchanges&) = delete;
    CPortalExchanges& operator=(const CPortalExchanges&) = delete;

    CPortalParser& Parser() { return m_portalParse; }
    // The portal's Error-Code (kPortalNoHeader without a whole decimal one) and Sub-Error.
    static int GetErrorCode(CHttpData& httpData, CAutoString& subErrCode);
    // Heartbeat failures tolerated, as far as the portal may ask: 0..kMaxKeepRetry.
    static int ClampKeepRetry(int retry) {
        return retry < 0 ? 0 : retry > kMaxKeepRetry ? kMaxKeepRetry : retry;
    }

    // Detection, then the portal's configuration, published to the client.
    int RequestConfig(int bPostErr);
    // Stores the addresses in use; a failed lookup keeps the last ones.
    void UseAddress(const SHostAddress& address);
    // The next cluster server for url, in the family in use: 1, or 0 when none is left.
    int GetNewServerIP(CAutoString& url);

    // The ticket alone (_RequestTicket), and the ticket handed to the client.
    int _RequestTicket();
    int RequestTicket();
    // Login, with the account and password of the client's request.
    int Connect(const char* pXmlStr);
    // Applies the account rule of the portal's configuration to the user name.
    void AccountTran();
    int CheckConnectState(int bPostErr);
    // The heartbeat.
    int KeepPluse();
    // Logout; pSrc says why ("2" the user, "5" an old session, ...).
    int DisConnect(const char* pSrc);
    int TerminalRequestData(CAutoString& pXml);
    int TerminalTermRequest(CAutoString ticket);
    // Stores a published value and tells the client, escaped.
    void SendData(const char* key, const char* value);

    // "Run again" answers a terminal exchange repeats before it gives up.
    static constexpr int kMaxRepeats = 3;
    static constexpr int kMaxKeepRetry = 30;

private:
    void NetStateChange(INetConn::ESTATE eStateOld, INetConn::ESTATE eStateNew, int iErrorcode,
                        CAutoString subErrCode);
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
    CPortalStateReporter& m_reporter;
    CPortalCluster& m_cluster;
    CPortalDetector& m_detector;
    CAuthConfig& m_conf;
    CPortalParser m_portalParse;

    std::mutex m_stateLock;  // one state query at a time
    CAutoString m_strDNS1{""};
    CAutoString m_strDNS2{""};
    int m_keepRetry = 0;
};
