// The simulator's statistics endpoint: the oracle for the service's sealed reports.
#include <openssl/evp.h>

#include "SimFixture.h"
#include "StatsCipher.h"

namespace {
// Encrypts the way the service's statistics report does, written here
// independently of the simulator's own cipher code.
std::string AesHex(const std::string& plain, const char* key, const char* iv) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::vector<unsigned char> out(plain.size() + 16);
    int len = 0, total = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, reinterpret_cast<const unsigned char*>(key),
                       reinterpret_cast<const unsigned char*>(iv));
    EVP_EncryptUpdate(ctx, out.data(), &total, reinterpret_cast<const unsigned char*>(plain.data()),
                      static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(ctx, out.data() + total, &len);
    EVP_CIPHER_CTX_free(ctx);
    std::string text;
    for (int i = 0; i < total + len; ++i) {
        text += "0123456789abcdef"[out[i] >> 4];
        text += "0123456789abcdef"[out[i] & 15];
    }
    return text;
}
std::string Sealed(const std::string& record, const char* tokenKey = "VelnorTokenKey16",
                   const char* tokenIv = "VelnorTokenIV016") {
    return AesHex("[{\"token\":\"" + AesHex(record, tokenKey, tokenIv) + "\"}]", "VelnorBodyKey016",
                  "VelnorBodyIV0016");
}
}  // namespace

class PortalSimStatsTest : public SimFixture {};

TEST_F(PortalSimStatsTest, StatisticsReportsAreDecryptedAndOnlyReadableOnesRecorded) {
    StartSim();
    const std::string record =
        "{\"account\":\"alice\",\"schoolid\":\"S0001\",\"ostype\":2,\"ipv4\":\"10.77.0.2\",\"brasip\":\"10."
        "77.0.1\","
        "\"start\":\"2026-12-06 10:00:00\",\"stop\":\"2026-12-06 "
        "10:05:00\",\"up\":\"1.5\",\"down\":\"0.976\","
        "\"stattype\":2,\"timestamp\":1796551500}";
    const struct {
        const char* name;
        std::string body;
        int status;
        const char* logged;
    } cases[] = {
        {"sealed record", Sealed(record), 200, "\"up\":\"1.5\""},
        {"not hex", "zz", 400, "body does not decrypt"},
        {"body key used for the token", Sealed(record, "VelnorBodyKey016", "VelnorBodyIV0016"), 400,
         "token does not decrypt"},
        {"not wrapped", AesHex(record, "VelnorBodyKey016", "VelnorBodyIV0016"), 400, "body is not"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto res = Client().Post("/stats", c.body, "text/plain; charset=utf-8");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        EXPECT_NE(LogOf("stats").find(c.logged), std::string::npos);
    }
    httplib::Client control(m_sim->ControlUrl());
    JsonPtr stats = simjson::Parse(control.Get("/control/stats")->body);
    ASSERT_EQ(cJSON_GetArraySize(stats.get()), 1);
    EXPECT_EQ(simjson::Print(cJSON_GetArrayItem(stats.get(), 0)), record);
    // The simulator's own sealing agrees with the independent one.
    EXPECT_EQ(CStatsCipher::SealRecord(record), Sealed(record));
}
