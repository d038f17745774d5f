#include "Md5.h"

#include <openssl/evp.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "Hex.h"

namespace {

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const noexcept { EVP_MD_CTX_free(ctx); }
};

using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

MdCtxPtr NewMd5() {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (ctx && EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1) ctx.reset();
    return ctx;
}

std::string FinishMd5(EVP_MD_CTX* ctx) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_DigestFinal_ex(ctx, digest, &digestLength) != 1) return std::string();
    return BytesToHex(digest, digestLength);
}

}  // namespace

std::string Md5Hex(const void* data, size_t length) {
    if (!data && length) return std::string();
    MdCtxPtr ctx = NewMd5();
    if (!ctx || EVP_DigestUpdate(ctx.get(), data ? data : "", length) != 1) return std::string();
    return FinishMd5(ctx.get());
}

std::string Md5HexFile(const char* fileName) {
    if (!fileName) return std::string();
    std::ifstream in(fileName, std::ios::binary);
    MdCtxPtr ctx = NewMd5();
    if (!in || !ctx) return std::string();
    char piece[64 * 1024];
    while (in) {
        in.read(piece, sizeof(piece));
        if (in.gcount() > 0 && EVP_DigestUpdate(ctx.get(), piece, static_cast<size_t>(in.gcount())) != 1)
            return std::string();
    }
    if (in.bad()) return std::string();
    return FinishMd5(ctx.get());
}

std::string Md5Hex(const char* text) { return Md5Hex(text ? text : "", text ? strlen(text) : 0); }
