#include "Md5.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>

#include "Hex.h"

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};

}  // namespace

std::string Md5Hex(const void* data, size_t length) {
    if (!data && length) return std::string();
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(ctx.get(), data ? data : "", length) != 1 ||
        EVP_DigestFinal_ex(ctx.get(), digest, &digestLength) != 1) {
        return std::string();
    }
    return BytesToHex(digest, digestLength);
}

std::string Md5Hex(const char* text) { return Md5Hex(text ? text : "", text ? strlen(text) : 0); }
