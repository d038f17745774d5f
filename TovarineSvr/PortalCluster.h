// CPortalCluster: the portal's server clusters and failover. Keeps the IPv4
// and IPv6 server lists (from the settings at start, then as the portal's
// configuration announces them), hands out the next server for a failed
// request and strikes it off, bounds the failovers of one network check, and
// carries the server-down state with its disaster-recovery address. The work
// thread fails over; a second "ClientStart" reloads from the message thread.
#pragma once

#include <chrono>
#include <mutex>

#include "AutoString.h"
#include "WeightCalculator.h"

class ISvrInfoCenter;

class CPortalCluster {
public:
    // Not owned: where the lists in use are published for the next run.
    explicit CPortalCluster(ISvrInfoCenter* infoCenter) : m_pInfoCenter(infoCenter) {}

    // Start-up: the lists and the disaster-recovery address stored by an earlier run.
    void Load(const CAutoString& listIPv4, const CAutoString& listIPv6, const CAutoString& disasterUrl);
    // Replaces the host of url with the next server of the family's list and
    // strikes that server off. false when none is left, or once this network
    // check has moved kMaxFailovers times or for kMaxFailoverSeconds: a list
    // of dead servers must not hold the work thread.
    bool NextServer(CAutoString& url, int family, const CAutoString& ip4, const CAutoString& ip6);
    // A network check starts: its failover allowance starts afresh.
    void BeginNetworkCheck();
    // A second "ClientStart": load a list that is empty but known.
    void Reload();
    // Stores the list in use and takes the one the configuration announced.
    void Publish(int family, const CAutoString& announced);

    // A portal server answered 5xx: returns the state code to report.
    int MarkDown();
    // Requests may go out: the servers are up, or addr is the disaster-recovery address.
    bool MayRequest();
    // true (and the servers count as up again) when addr holds the disaster-recovery address.
    bool DisasterRecovery(CAutoString addr);

    static constexpr int kMaxFailovers = 8;
    static constexpr int kMaxFailoverSeconds = 60;

private:
    ISvrInfoCenter* m_pInfoCenter;
    std::mutex m_lock;  // everything below
    HashBalance m_hashBalance4;
    HashBalance m_hashBalance6;
    CAutoString m_strServersIPv4{""};
    CAutoString m_strServersIPv6{""};
    int m_failovers = 0;
    std::chrono::steady_clock::time_point m_checkStart = std::chrono::steady_clock::now();
    CAutoString m_DisasterUrl{""};
    int m_nServerState = 1;
};
