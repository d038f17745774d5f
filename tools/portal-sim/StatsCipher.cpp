#include "StatsCipher.h"

#include <openssl/evp.h>

#include <memory>
#include <vector>

#include "SimJson.h"

namespace {
struct CipherCtxDeleter {
    void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};
using CipherCtx = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxDeleter>;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Crypt(bool encrypt, const std::string& in, const char* key, const char* iv, std::string& out) {
    CipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return false;
    auto k = reinterpret_cast<const unsigned char*>(key);
    auto v = reinterpret_cast<const unsigned char*>(iv);
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, k, v, encrypt ? 1 : 0) != 1) return false;
    std::vector<unsigned char> buffer(in.size() + 32);
    int len = 0;
    int total = 0;
    if (EVP_CipherUpdate(ctx.get(), buffer.data(), &len, reinterpret_cast<const unsigned char*>(in.data()),
                         static_cast<int>(in.size())) != 1) {
        return false;
    }
    total = len;
    if (EVP_CipherFinal_ex(ctx.get(), buffer.data() + total, &len) != 1) return false;
    total += len;
    out.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(total));
    return true;
}
}  // namespace

std::string CStatsCipher::EncryptHex(const std::string& plain, const char* key, const char* iv) {
    std::string raw;
    if (!Crypt(true, plain, key, iv, raw)) return "";
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(raw.size() * 2);
    for (unsigned char c : raw) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool CStatsCipher::DecryptHex(const std::string& hex, const char* key, const char* iv, std::string& plain) {
    if (hex.empty() || hex.size() % 32 != 0) return false;
    std::string raw;
    raw.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexValue(hex[i]);
        int lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return false;
        raw += static_cast<char>(hi << 4 | lo);
    }
    return Crypt(false, raw, key, iv, plain);
}

std::string CStatsCipher::SealRecord(const std::string& recordJson) {
    JsonPtr array(cJSON_CreateArray());
    cJSON* item = cJSON_CreateObject();
    simjson::AddString(item, "token", EncryptHex(recordJson, kTokenKey, kTokenIV));
    cJSON_AddItemToArray(array.get(), item);
    return EncryptHex(simjson::Print(array.get()), kBodyKey, kBodyIV);
}

bool CStatsCipher::OpenReport(const std::string& body, std::string& recordJson, std::string& error) {
    std::string wrapped;
    if (!DecryptHex(body, kBodyKey, kBodyIV, wrapped)) {
        error = "body does not decrypt";
        return false;
    }
    JsonPtr array = simjson::Parse(wrapped);
    const cJSON* first = cJSON_IsArray(array.get()) ? cJSON_GetArrayItem(array.get(), 0) : nullptr;
    const cJSON* token = cJSON_GetObjectItemCaseSensitive(first, "token");
    if (!cJSON_IsString(token) || cJSON_GetArraySize(array.get()) != 1) {
        error = "body is not [{\"token\":...}]";
        return false;
    }
    std::string record;
    if (!DecryptHex(token->valuestring, kTokenKey, kTokenIV, record)) {
        error = "token does not decrypt";
        return false;
    }
    if (!cJSON_IsObject(simjson::Parse(record).get())) {
        error = "token is not a JSON object";
        return false;
    }
    recordJson = record;
    return true;
}
