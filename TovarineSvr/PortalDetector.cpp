#include "PortalDetector.h"

#include <memory>

#include "AuthConfig.h"
#include "CurlHttp.h"
#include "HttpData.h"
#include "HttpHelper.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "PortalCluster.h"
#include "PortalParser.h"
#include "PortalResult.h"

// Reachable only once the host is on line; a portal intercepts it before.
const char CPortalDetector::kDefaultProbeUrl[] = "http://www.example.com/";

namespace {

const char kDetectHead[] =
    "Connection:close\r\nUser-Agent:%s\r\nAccept:text/html,text/xml,application/xhtml+xml,"
    "application/x-javascript,*/*";

// The gateway's detect.html page is gone: ask the public probe (written
// without its trailing slash) instead; the configured start URL may well
// be that dead page's own gateway.
CAutoString WithoutTrailingSlash(const CAutoString& url) {
    size_t length = url.GetLength();
    if (length > 0 && url.GetBuffer()[length - 1] == '/') return url.Left(static_cast<int>(length - 1));
    return url;
}

}  // namespace

void CPortalDetector::SetProbeUrls(const CAutoString& url, const CAutoString& urlIPv6) {
    m_redirectUrl = url.IsEmpty() ? CAutoString(kDefaultProbeUrl) : url;
    m_redirectUrlIpv6 = urlIPv6.IsEmpty() ? CAutoString(kDefaultProbeUrl) : urlIPv6;
}

int CPortalDetector::Detect(CAuthConfig& conf) {
    CLog* log = CLog::GetInst();
    log->WriteLog(kLogInfo, "CPortalConn::CheckConnState");
    const CAutoString probe = conf.m_afType == kFamilyIPv6 ? m_redirectUrlIpv6 : m_redirectUrl;
    CAutoString url(probe.GetBuffer());
    CAutoString head("");
    head.Format(kDetectHead, conf.strUserAgent.GetBuffer());

    std::unique_ptr<CHttpData> page;
    bool probeFallbackUsed = false;
    int hops = 0;
    for (;;) {
        auto data = std::make_unique<CHttpData>();
        data->SetUrl(url);
        data->szVerb = "GET";
        data->szHead = head;
        data->dwTimeOut = 10000;
        data->bRedirect = false;
        log->WriteLog(kLogInfo, "requestConfig is :%s", url.GetBuffer());
        int ret = CCurlHttp::Perform(data.get());
        if (ret != 0) {
            log->WriteLog(kLogInfo, "requestConfig http err is :%d", ret);
            if (url.Find("index.cgi") >= 0 && m_pCluster->NextServer(url, conf.m_afType, conf.ip4, conf.ip6))
                continue;
            if (url.Find("detect.html") >= 0 && !probeFallbackUsed) {
                probeFallbackUsed = true;
                url = WithoutTrailingSlash(CAutoString(kDefaultProbeUrl));
                continue;
            }
            return ret;
        }

        m_lastRedirectUrl = CAutoString(url.GetBuffer());
        log->WriteLog(kLogInfo, "portal test  request state code is %d", data->retCode);
        log->WriteLog(kLogInfo, "%s", data->RespHead());

        CAutoString schoolId = data->GetHeadAttri("schoolid:");
        CAutoString domain = data->GetHeadAttri("domain:");
        CAutoString area = data->GetHeadAttri("area:");
        log->WriteLog(kLogInfo, "schoolid length is %d", static_cast<int>(schoolId.GetLength()));
        log->WriteLog(kLogInfo, "schoolid is %s,domain is %s,area is %s", schoolId.GetBuffer(),
                      domain.GetBuffer(), area.GetBuffer());
        if (!schoolId.IsEmpty() && !domain.IsEmpty() && !area.IsEmpty()) {
            conf.schoolId = schoolId;
            conf.domain = domain;
            conf.area = area;
            m_pInfoCenter->SetLocalValue("schoolId", schoolId);
            m_pInfoCenter->SetLocalValue("domain", domain);
            m_pInfoCenter->SetLocalValue("area", area);
        }

        CAutoString next = data->GetRedirectAddress();
        if (next.Find("index.cgi") >= 0) m_pCluster->NextServer(next, conf.m_afType, conf.ip4, conf.ip6);
        if (next.IsEmpty()) {
            page = std::move(data);
            break;
        }
        // A portal that redirects in a circle must not hold the work thread.
        if (++hops >= kMaxDetectHops) {
            log->WriteLog(kLogInfo, "requestConfig gave up after %d redirects", hops);
            return kResultDetectLoop;
        }

        CHttpHelper helper;
        if (helper.SetAddress(next)) {
            conf.wlanuserip = helper.GetParam("wlanuserip");
            conf.wlanusermac = helper.GetParam("wlanusermac");
            conf.wlancip = helper.GetParam("wlanacip");
            m_pInfoCenter->SetLocalValue("wlanuserip", conf.wlanuserip);
            m_pInfoCenter->SetLocalValue("wlanusermac", conf.wlanusermac);
            m_pInfoCenter->SetLocalValue("wlanacip", conf.wlancip);
            log->WriteLog(kLogInfo, "wlanuserip is %s, wlanusermac is %s, wlanacip is %s",
                          conf.wlanuserip.GetBuffer(), conf.wlanusermac.GetBuffer(),
                          conf.wlancip.GetBuffer());
        }
        url = next;
    }

    CAutoString config("");
    CPortalParser::GetConfigWithString(CAutoString(page->RespData()), config);
    m_configXML = config;
    return m_configXML.IsEmpty() ? kResultNothing : kResultDone;
}

int CPortalDetector::IsIntercepted(CHttpData* resp) {
    if (!resp) return 0;
    // Whatever the 3xx, the portal server never answers with a redirect.
    if (resp->retCode >= 300 && resp->retCode <= 399) return 1;
    if (resp->retCode == 200) {
        // Only the portal server marks its answers with both headers.
        bool genuine =
            !resp->GetHeadAttri("Error-Code").IsEmpty() && !resp->GetHeadAttri("Server-Tag").IsEmpty();
        return genuine ? 0 : 1;
    }
    return 0;
}
