// CPortalDetector: finds out whether a portal is in the way. Probes the
// network, follows the portal's redirect chain (moving the entry page to a
// cluster server when it fails), records the portal parameters it meets on
// the way and keeps the configuration text found between the page's markers.
// Work thread only, so it needs no lock.
#pragma once

#include "AutoString.h"

struct CAuthConfig;
class CHttpData;
class CPortalCluster;
class ISvrInfoCenter;

class CPortalDetector {
public:
    // Neither is owned.
    CPortalDetector(ISvrInfoCenter* infoCenter, CPortalCluster* cluster)
        : m_pInfoCenter(infoCenter), m_pCluster(cluster) {}

    // The probe URLs stored locally; an empty one is the default probe.
    void SetProbeUrls(const CAutoString& url, const CAutoString& urlIPv6);
    // kResultDone with a configuration (ConfigXml), kResultNothing without
    // one, kResultDetectLoop, or the transport's failure. The portal's
    // parameters go into conf and the information center.
    int Detect(CAuthConfig& conf);
    const CAutoString& ConfigXml() const { return m_configXML; }

    // Whether an answer came from the portal page instead of the portal server.
    static int IsIntercepted(CHttpData* resp);

    // The probe URL used when "redirect" is not set locally.
    static const char kDefaultProbeUrl[];
    // Redirects followed before detection gives up.
    static constexpr int kMaxDetectHops = 16;

private:
    ISvrInfoCenter* m_pInfoCenter;
    CPortalCluster* m_pCluster;
    CAutoString m_redirectUrl{kDefaultProbeUrl};
    CAutoString m_redirectUrlIpv6{kDefaultProbeUrl};
    CAutoString m_lastRedirectUrl{""};
    CAutoString m_configXML{""};
};
