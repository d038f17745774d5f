// CTrafficStatistics: measures the bytes the default-route interface sent and
// received during a login and submits them as an encrypted JSON report.
// Only the portal business's work thread uses it. It owns its sender.
// Results: 0 success, negative failures.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "AutoString.h"
#include "SystemControlAdapter.h"
#include "TrafficSender.h"

class CTrafficStatistics {
public:
    enum tag_STATISTICS_TYPE { LOGOUT = 0, LOGIN = 1, TIMING = 2 };

    explicit CTrafficStatistics(const SYSTEM_CONTROL_PATHS& paths = SYSTEM_CONTROL_PATHS());
    CTrafficStatistics(const CTrafficStatistics&) = delete;
    CTrafficStatistics& operator=(const CTrafficStatistics&) = delete;

    // Without a sender every submission fails with -2.
    void SetSender(std::unique_ptr<ITrafficSender> sender) { m_pSender = std::move(sender); }

    // Reads the counters; LOGIN fixes the starting point, TIMING and LOGOUT
    // build and submit a report. 0, or the failing step's result.
    int NetworkTrafficStatistics(const char* pszServiceURL, const char* pszAccount, const char* pszSchoolId,
                                 const char* pszIPv4Address, const char* pszBRASIPAddress,
                                 tag_STATISTICS_TYPE enmrStatisticsType);

    // 0 and the record as compact JSON; -1 when the account, the IPv4
    // address, the start or the stop time is null or empty, or no JSON
    // could be made.
    int BuildToken(const char* szAccount, const char* szSchoolId, short sOSType, const char* szIPv4Address,
                   const char* szBRASIPAddress, const char* szStartTime, const char* szStopTime,
                   double dTransmitBytes, double dReceiveBytes, tag_STATISTICS_TYPE enmrStatisticsType,
                   long tTimestamp, std::string& strSubmitData);
    // Hex of AES-128-CBC/PKCS#7 of the source: 0, or negative with the
    // output cleared.
    int EncryptData(const std::string& strSourceData, std::string& strEncrypted,
                    const unsigned char* pszSecretKey, const unsigned char* pszSecretIV);
    static std::string Bytes2Hex(const unsigned char* pszSource, unsigned long sLength);
    // [{"token":"<strToken>"}]: 0, or -1 when no JSON could be made.
    int BuildSubmitData(const std::string& strToken, std::string& strSubmitData);
    static std::string BuildHTTPHead();
    // -1 empty URL or header text, -3 not an http:// or https:// address,
    // -2 no sender; else the sender's result.
    int SubmitData(const char* pszURL, const char* pszHead, const char* pszData);

    // Kilobytes of a byte count cut (not rounded) to three decimals, and
    // its text as the report carries it (six significant digits at most).
    static double Kilobytes(uint64_t un64Bytes);
    static std::string KilobytesText(double dKilobytes);

    // Seconds between periodic reports from a "StatsInfor" interval text;
    // 0 (no periodic reports) when it is not a positive decimal number.
    static long ReportInterval(const char* pszInterval);
    // Reads a "StatsInfor" element ("enable", "interval", "url"): 1 when it
    // is enabled (URL and interval set), 0 when it is not, -1 when the markup
    // is not well-formed or holds no such element.
    static int ReadStatsInfor(const char* pszMarkup, CAutoString& strURL, long& lInterval);

    static const unsigned char kTokenKey[16];
    static const unsigned char kTokenIV[16];
    static const unsigned char kBodyKey[16];
    static const unsigned char kBodyIV[16];

private:
    static std::string LocalTimeNow();

    uint64_t m_un64TransmitBytesStart = 0;
    uint64_t m_un64ReceiveBytesStart = 0;
    uint64_t m_un64TransmitBytesStatistics = 0;
    uint64_t m_un64ReceiveBytesStatistics = 0;
    std::string m_strTrafficStartTime;
    std::string m_strTrafficStatisticsTime;
    CSystemControlAdapter m_Adapter;
    std::unique_ptr<ITrafficSender> m_pSender;
};
