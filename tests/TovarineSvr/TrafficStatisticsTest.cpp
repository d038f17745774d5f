#include <cJSON.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "CTrafficStatistics.h"
#include "HostFiles.h"

namespace {

struct SentRequest {
    std::string url, verb, head, data;
    size_t length;
    unsigned long timeOutMs;
    bool redirect, verifyPeer;
};

class CRecordingSender : public ITrafficSender {
public:
    CRecordingSender(std::vector<SentRequest>* sent, int result) : m_sent(sent), m_result(result) {}
    int Send(const TRAFFIC_REQUEST& r) override {
        m_sent->push_back({r.pszURL, r.pszVerb, r.pszHead, r.pszData, r.nDataLen, r.ulTimeOutMs, r.bRedirect,
                           r.bVerifyPeer});
        return m_result;
    }

private:
    std::vector<SentRequest>* m_sent;
    int m_result;
};

// OpenSSL directly, independent of the code under test.
std::string Decrypt(const std::string& hex, const char* key, const char* iv) {
    std::string cipher, plain(hex.size() / 2 + 16, '\0');
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        cipher += static_cast<char>(std::stoi(hex.substr(i, 2), 0, 16));
    auto* out = reinterpret_cast<unsigned char*>(&plain[0]);
    auto* in = reinterpret_cast<const unsigned char*>(cipher.data());
    int written = 0, last = 0;
    std::unique_ptr<EVP_CIPHER_CTX, void (*)(EVP_CIPHER_CTX*)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    bool ok =
        EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, reinterpret_cast<const unsigned char*>(key),
                           reinterpret_cast<const unsigned char*>(iv)) == 1 &&
        EVP_DecryptUpdate(ctx.get(), out, &written, in, static_cast<int>(cipher.size())) == 1 &&
        EVP_DecryptFinal_ex(ctx.get(), out + written, &last) == 1;
    plain.resize(ok ? static_cast<size_t>(written + last) : 0);
    return plain;
}

// The record inside a submitted body: body → [{"token":hex}] → record.
std::unique_ptr<cJSON, void (*)(cJSON*)> RecordOf(const std::string& body) {
    std::unique_ptr<cJSON, void (*)(cJSON*)> array(
        cJSON_Parse(Decrypt(body, "VelnorBodyKey016", "VelnorBodyIV0016").c_str()), cJSON_Delete);
    const cJSON* token = cJSON_GetObjectItemCaseSensitive(cJSON_GetArrayItem(array.get(), 0), "token");
    std::string text = cJSON_IsString(token) && cJSON_GetArraySize(array.get()) == 1
                           ? Decrypt(token->valuestring, "VelnorTokenKey16", "VelnorTokenIV016")
                           : "";
    return {cJSON_Parse(text.c_str()), cJSON_Delete};
}

std::string Field(const cJSON* record, const char* key) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(record, key);
    if (cJSON_IsNumber(item)) return std::to_string(static_cast<long>(item->valuedouble));
    return cJSON_IsString(item) ? item->valuestring : "<missing>";
}

class CTrafficStatisticsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_paths = PathsIn(m_dir);
        WriteFile(m_paths.strNetRoute, Route("eth0"));
        m_stats = std::make_unique<CTrafficStatistics>(m_paths);
        UseSender(0);
    }
    void UseSender(int result) { m_stats->SetSender(std::make_unique<CRecordingSender>(&m_sent, result)); }
    int Report(CTrafficStatistics::tag_STATISTICS_TYPE type, uint64_t transmit, uint64_t receive,
               const char* url = "http://127.0.0.1:9/stats") {
        WriteFile(m_paths.strNetDev, DeviceList(Device("lo", 9, 9) + Device("eth0", receive, transmit)));
        return m_stats->NetworkTrafficStatistics(url, "user01", "school7", "10.1.2.3", "10.0.0.1", type);
    }
    // "up"/"down" of every report sent.
    std::vector<std::string> Amounts() {
        std::vector<std::string> amounts;
        for (const SentRequest& sent : m_sent) {
            auto record = RecordOf(sent.data);
            amounts.push_back(Field(record.get(), "up") + "/" + Field(record.get(), "down"));
        }
        return amounts;
    }
    TempDir m_dir;
    SYSTEM_CONTROL_PATHS m_paths;
    std::vector<SentRequest> m_sent;
    std::unique_ptr<CTrafficStatistics> m_stats;
};

}  // namespace

TEST(CTrafficStatisticsUnitTest, CutsKilobytesToThreeDecimals) {
    struct {
        uint64_t bytes;
        const char* text;
    } cases[] = {{0, "0"},    {1536, "1.5"},   {1000, "0.976"},
                 {1024, "1"}, {2047, "1.999"}, {1073741824, "1.04858e+06"}};
    for (const auto& c : cases)
        EXPECT_EQ(CTrafficStatistics::KilobytesText(CTrafficStatistics::Kilobytes(c.bytes)), c.text)
            << c.bytes;
}

TEST(CTrafficStatisticsUnitTest, BuildsTheRecordAndBodyInTheirFixedShapes) {
    CTrafficStatistics stats;
    std::string token, body;
    ASSERT_EQ(
        stats.BuildToken("acc\"1", "s9", 2, "10.1.2.3", "10.0.0.1", "2026-01-02 03:04:05",
                         "2026-01-02 04:05:06", 1.5, 0.976, CTrafficStatistics::LOGOUT, 1767322800, token),
        0);
    EXPECT_EQ(token,
              "{\"account\":\"acc\\\"1\",\"schoolid\":\"s9\",\"ostype\":2,\"ipv4\":\"10.1.2.3\","
              "\"brasip\":\"10.0.0.1\",\"start\":\"2026-01-02 03:04:05\",\"stop\":\"2026-01-02 04:05:06\","
              "\"up\":\"1.5\",\"down\":\"0.976\",\"stattype\":0,\"timestamp\":1767322800}");
    EXPECT_EQ(stats.BuildToken("", "s", 2, "ip", "b", "a", "b", 0, 0, CTrafficStatistics::TIMING, 0, token) +
                  stats.BuildToken("u", "s", 2, "ip", "b", nullptr, "b", 0, 0, CTrafficStatistics::TIMING, 0,
                                   token),
              -2);
    ASSERT_EQ(stats.BuildSubmitData("00ff", body), 0);
    EXPECT_EQ(body, "[{\"token\":\"00ff\"}]");
}

TEST(CTrafficStatisticsUnitTest, ReadsTheSettingAndGivesNoPeriodicReportsForBadIntervals) {
    for (const char* bad : {"0", "-5", "60s", "", "99999999999999999999"})
        EXPECT_EQ(CTrafficStatistics::ReportInterval(bad), 0) << bad;
    EXPECT_EQ(CTrafficStatistics::ReportInterval(" 60 "), 60);
    CAutoString url = "";
    long interval = -7;
    EXPECT_EQ(
        CTrafficStatistics::ReadStatsInfor("<StatsInfor enable=\"0\" url=\"http://s/\"/>", url, interval), 0);
    EXPECT_EQ(CTrafficStatistics::ReadStatsInfor("<StatsInfor enable=\"1\"", url, interval), -1);
    const char* zeroInterval = "<StatsInfor enable=\"1\" interval=\"x\" url=\"http://s/\"/>";
    EXPECT_EQ(CTrafficStatistics::ReadStatsInfor(zeroInterval, url, interval), 1);
    EXPECT_EQ(interval, 0);
    EXPECT_STREQ(url.GetBuffer(), "http://s/");
}

TEST_F(CTrafficStatisticsTest, ReportsCountFromTheLoginAndDecryptToTheRecord) {
    time_t before = time(nullptr);
    ASSERT_EQ(Report(CTrafficStatistics::LOGIN, 1000, 5000), 0);
    EXPECT_TRUE(m_sent.empty());
    ASSERT_EQ(Report(CTrafficStatistics::TIMING, 1000 + 1536, 5000 + 1000), 0);
    ASSERT_EQ(Report(CTrafficStatistics::LOGOUT, 1000 + 1536, 5000 + 1000, "HTTPS://127.0.0.1:9/s"), 0);
    ASSERT_EQ(m_sent.size(), 2u);
    const SentRequest& sent = m_sent[0];
    EXPECT_EQ(sent.url + " " + sent.verb + " " + std::to_string(sent.timeOutMs),
              "http://127.0.0.1:9/stats POST 10000");
    EXPECT_EQ(sent.head, CTrafficStatistics::BuildHTTPHead());
    EXPECT_EQ(sent.length, sent.data.size());
    EXPECT_TRUE(!sent.redirect && m_sent[1].verifyPeer);
    EXPECT_EQ(sent.data.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(sent.data.size() % 32, 0u);

    auto record = RecordOf(sent.data);
    ASSERT_TRUE(record);
    std::string fields;
    for (const char* key : {"account", "schoolid", "ostype", "ipv4", "brasip", "up", "down", "stattype"})
        fields += Field(record.get(), key) + ",";
    EXPECT_EQ(fields, "user01,school7,2,10.1.2.3,10.0.0.1,1.5,0.976,2,");
    for (const char* key : {"start", "stop"}) {
        struct tm parsed;
        std::string text = Field(record.get(), key);
        const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parsed);
        EXPECT_TRUE(end && !*end && text.size() == 19) << text;
    }
    long timestamp = std::stol(Field(record.get(), "timestamp"));
    EXPECT_TRUE(timestamp >= before && timestamp <= time(nullptr));
    EXPECT_EQ(Field(RecordOf(m_sent[1].data).get(), "stattype"), "0");
}

TEST_F(CTrafficStatisticsTest, ACounterThatWentBackwardsCountsFromTheReset) {
    ASSERT_EQ(Report(CTrafficStatistics::LOGIN, 10000, 3000), 0);
    ASSERT_EQ(Report(CTrafficStatistics::TIMING, 1536, 3000 + 10240), 0);  // transmit re-created
    ASSERT_EQ(Report(CTrafficStatistics::TIMING, 3072, 3000 + 10240), 0);  // counts on from the reset
    ASSERT_EQ(Report(CTrafficStatistics::TIMING, 3072, 4024), 0);  // receive reset, above the login value
    EXPECT_EQ(Amounts(), (std::vector<std::string>{"1.5/10", "3/10", "3/3.929"}));
}

TEST_F(CTrafficStatisticsTest, FailedStepsSendNothingAndKeepTheStart) {
    EXPECT_EQ(Report(CTrafficStatistics::TIMING, 100, 100), -1);  // no login reading yet
    ASSERT_EQ(Report(CTrafficStatistics::LOGIN, 1000, 1000), 0);
    unlink(m_paths.strNetDev.c_str());  // a failed login reading leaves the start
    EXPECT_EQ(m_stats->NetworkTrafficStatistics("http://h/", "u", "s", "ip", "b", CTrafficStatistics::LOGIN),
              -1);
    EXPECT_EQ(Report(CTrafficStatistics::TIMING, 2024, 1000, ""), -1);
    EXPECT_EQ(Report(CTrafficStatistics::TIMING, 2024, 1000, "file:///etc/passwd"), -3);
    EXPECT_TRUE(m_sent.empty());
    m_stats->SetSender(nullptr);
    EXPECT_EQ(Report(CTrafficStatistics::TIMING, 2024, 1000), -2);
    UseSender(-4);
    EXPECT_EQ(Report(CTrafficStatistics::LOGOUT, 2024, 1000), -4);
    EXPECT_EQ(Amounts(), (std::vector<std::string>{"1/0"}));
}
