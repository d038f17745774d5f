#include "CTrafficStatistics.h"

#include <cJSON.h>
#include <strings.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <locale>
#include <sstream>

#include "Aes.h"
#include "Decimal.h"
#include "Hex.h"
#include "Log.h"
#include "Markup.h"

const unsigned char CTrafficStatistics::kTokenKey[16] = {'V', 'e', 'l', 'n', 'o', 'r', 'T', 'o',
                                                         'k', 'e', 'n', 'K', 'e', 'y', '1', '6'};
const unsigned char CTrafficStatistics::kTokenIV[16] = {'V', 'e', 'l', 'n', 'o', 'r', 'T', 'o',
                                                        'k', 'e', 'n', 'I', 'V', '0', '1', '6'};
const unsigned char CTrafficStatistics::kBodyKey[16] = {'V', 'e', 'l', 'n', 'o', 'r', 'B', 'o',
                                                        'd', 'y', 'K', 'e', 'y', '0', '1', '6'};
const unsigned char CTrafficStatistics::kBodyIV[16] = {'V', 'e', 'l', 'n', 'o', 'r', 'B', 'o',
                                                       'd', 'y', 'I', 'V', '0', '0', '1', '6'};

namespace {

constexpr short kOSType = 2;

struct JsonDelete {
    void operator()(cJSON* json) const noexcept { cJSON_Delete(json); }
};
using JsonPtr = std::unique_ptr<cJSON, JsonDelete>;

// Compact JSON text of a tree; false when printing fails.
bool PrintCompact(const cJSON* json, std::string& text) {
    char* printed = cJSON_PrintUnformatted(json);
    if (!printed) return false;
    text = printed;
    cJSON_free(printed);
    return true;
}

bool IsEmpty(const char* text) { return !text || !*text; }

// The bytes counted since the start point. A counter below the start or
// below the previous reading was reset (interface re-created, default route
// moved): the report counts from the reset, which becomes the start point.
uint64_t CountSinceStart(uint64_t current, uint64_t previous, uint64_t& start) {
    if (current < start || current < previous) start = 0;
    return current - start;
}

}  // namespace

CTrafficStatistics::CTrafficStatistics(const SYSTEM_CONTROL_PATHS& paths) : m_Adapter(paths) {}

std::string CTrafficStatistics::LocalTimeNow() {
    time_t now = time(nullptr);
    struct tm local;
    char text[32] = {0};
    if (!localtime_r(&now, &local) || !strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local)) return "";
    return text;
}

double CTrafficStatistics::Kilobytes(uint64_t un64Bytes) {
    double kilobytes = static_cast<double>(un64Bytes) / 1024.0;
    float cut = static_cast<float>(std::trunc(kilobytes * 1000.0));
    return static_cast<double>(cut / 1000.0f);
}

std::string CTrafficStatistics::KilobytesText(double dKilobytes) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << dKilobytes;
    return text.str();
}

int CTrafficStatistics::NetworkTrafficStatistics(const char* pszServiceURL, const char* pszAccount,
                                                 const char* pszSchoolId, const char* pszIPv4Address,
                                                 const char* pszBRASIPAddress,
                                                 tag_STATISTICS_TYPE enmrStatisticsType) {
    uint64_t previousTransmit = m_un64TransmitBytesStatistics;
    uint64_t previousReceive = m_un64ReceiveBytesStatistics;
    ISystemControl* control = m_Adapter.GetSystemControl();
    if (control) {
        uint64_t transmit = m_un64TransmitBytesStatistics;
        uint64_t receive = m_un64ReceiveBytesStatistics;
        int result = control->NetworkTrafficStatistics(transmit, receive);
        if (result != 0) return result;
        m_un64TransmitBytesStatistics = transmit;
        m_un64ReceiveBytesStatistics = receive;
    }
    if (enmrStatisticsType == LOGIN) {
        m_strTrafficStartTime = LocalTimeNow();
        m_un64TransmitBytesStart = m_un64TransmitBytesStatistics;
        m_un64ReceiveBytesStart = m_un64ReceiveBytesStatistics;
        return 0;
    }
    m_strTrafficStatisticsTime = LocalTimeNow();
    uint64_t sent =
        CountSinceStart(m_un64TransmitBytesStatistics, previousTransmit, m_un64TransmitBytesStart);
    uint64_t received =
        CountSinceStart(m_un64ReceiveBytesStatistics, previousReceive, m_un64ReceiveBytesStart);

    std::string token;
    if (BuildToken(pszAccount, pszSchoolId, kOSType, pszIPv4Address, pszBRASIPAddress,
                   m_strTrafficStartTime.c_str(), m_strTrafficStatisticsTime.c_str(), Kilobytes(sent),
                   Kilobytes(received), enmrStatisticsType, static_cast<long>(time(nullptr)), token) != 0 ||
        token.empty()) {
        return -1;
    }
    std::string encryptedToken;
    std::string body;
    std::string encryptedBody;
    int result = EncryptData(token, encryptedToken, kTokenKey, kTokenIV);
    if (result == 0) result = BuildSubmitData(encryptedToken, body);
    if (result == 0) result = EncryptData(body, encryptedBody, kBodyKey, kBodyIV);
    if (result != 0) return result;
    result = SubmitData(pszServiceURL, BuildHTTPHead().c_str(), encryptedBody.c_str());
    if (result != 0) {
        CLog::GetInst()->WriteLog(
            kLogInfo, "[CTrafficStatistics::NetworkTrafficStatistics] submit failed(%d).", result);
    }
    return result;
}

int CTrafficStatistics::BuildToken(const char* szAccount, const char* szSchoolId, short sOSType,
                                   const char* szIPv4Address, const char* szBRASIPAddress,
                                   const char* szStartTime, const char* szStopTime, double dTransmitBytes,
                                   double dReceiveBytes, tag_STATISTICS_TYPE enmrStatisticsType,
                                   long tTimestamp, std::string& strSubmitData) {
    if (IsEmpty(szAccount) || IsEmpty(szIPv4Address) || IsEmpty(szStartTime) || IsEmpty(szStopTime))
        return -1;
    JsonPtr record(cJSON_CreateObject());
    if (!record) return -1;
    cJSON* json = record.get();
    bool built = cJSON_AddStringToObject(json, "account", szAccount) &&
                 cJSON_AddStringToObject(json, "schoolid", szSchoolId ? szSchoolId : "") &&
                 cJSON_AddNumberToObject(json, "ostype", sOSType) &&
                 cJSON_AddStringToObject(json, "ipv4", szIPv4Address) &&
                 cJSON_AddStringToObject(json, "brasip", szBRASIPAddress ? szBRASIPAddress : "") &&
                 cJSON_AddStringToObject(json, "start", szStartTime) &&
                 cJSON_AddStringToObject(json, "stop", szStopTime) &&
                 cJSON_AddStringToObject(json, "up", KilobytesText(dTransmitBytes).c_str()) &&
                 cJSON_AddStringToObject(json, "down", KilobytesText(dReceiveBytes).c_str()) &&
                 cJSON_AddNumberToObject(json, "stattype", enmrStatisticsType) &&
                 cJSON_AddNumberToObject(json, "timestamp", static_cast<double>(tTimestamp));
    if (!built || !PrintCompact(json, strSubmitData)) return -1;
    return 0;
}

std::string CTrafficStatistics::Bytes2Hex(const unsigned char* pszSource, unsigned long sLength) {
    return BytesToHex(pszSource, sLength);
}

int CTrafficStatistics::EncryptData(const std::string& strSourceData, std::string& strEncrypted,
                                    const unsigned char* pszSecretKey, const unsigned char* pszSecretIV) {
    strEncrypted.clear();
    std::string cipher;
    int result = AesCbcEncrypt(strSourceData, pszSecretKey, pszSecretIV, cipher);
    if (result != 0) return result;
    strEncrypted = Bytes2Hex(reinterpret_cast<const unsigned char*>(cipher.data()), cipher.size());
    return 0;
}

int CTrafficStatistics::BuildSubmitData(const std::string& strToken, std::string& strSubmitData) {
    JsonPtr array(cJSON_CreateArray());
    if (!array) return -1;
    cJSON* item = cJSON_CreateObject();
    if (!item) return -1;
    cJSON_AddItemToArray(array.get(), item);
    if (!cJSON_AddStringToObject(item, "token", strToken.c_str())) return -1;
    return PrintCompact(array.get(), strSubmitData) ? 0 : -1;
}

std::string CTrafficStatistics::BuildHTTPHead() {
    return "Accept: text/javascript, text/html, application/xml, text/xml, */*\r\n"
           "Content-type: text/plain; charset=utf-8\r\n"
           "Accept-Encoding: gzip, deflate\r\n"
           "Connection: close\r\n"
           "Cache-Control: no-cache\r\n";
}

int CTrafficStatistics::SubmitData(const char* pszURL, const char* pszHead, const char* pszData) {
    if (IsEmpty(pszURL) || IsEmpty(pszHead)) return -1;
    // The address comes from the portal; only web addresses are posted to.
    bool https = strncasecmp(pszURL, "https://", 8) == 0;
    if (!https && strncasecmp(pszURL, "http://", 7) != 0) return -3;
    if (!m_pSender) return -2;
    TRAFFIC_REQUEST request;
    request.pszURL = pszURL;
    request.pszHead = pszHead;
    request.pszData = pszData ? pszData : "";
    request.nDataLen = strlen(request.pszData);
    request.bVerifyPeer = true;
    return m_pSender->Send(request);
}

long CTrafficStatistics::ReportInterval(const char* pszInterval) {
    long seconds = 0;
    if (!Decimal::Parse(pszInterval, seconds) || seconds <= 0) return 0;
    return seconds;
}

int CTrafficStatistics::ReadStatsInfor(const char* pszMarkup, CAutoString& strURL, long& lInterval) {
    if (IsEmpty(pszMarkup)) return -1;
    CMarkup setting;
    if (!setting.SetDoc(pszMarkup) || !setting.FindElem("StatsInfor")) return -1;
    long enable = 0;
    if (!Decimal::Parse(setting.GetAttrib("enable"), enable) || enable != 1) return 0;
    lInterval = ReportInterval(setting.GetAttrib("interval"));
    strURL = setting.GetAttrib("url");
    return 1;
}
