#include "Aes.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

namespace {

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const noexcept { EVP_CIPHER_CTX_free(ctx); }
};

int Run(bool encrypt, const std::string& input, const unsigned char* key, const unsigned char* iv,
        std::string& output) {
    output.clear();
    if (!key || !iv) return -1;
    // EVP takes int lengths; the cipher adds at most one block.
    if (input.size() > static_cast<size_t>(INT_MAX) - kAesBlockSize) return -3;
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx) return -2;
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key, iv, encrypt ? 1 : 0) != 1) return -3;
    std::string buffer(input.size() + kAesBlockSize, '\0');
    unsigned char* out = reinterpret_cast<unsigned char*>(&buffer[0]);
    int written = 0;
    int last = 0;
    if (EVP_CipherUpdate(ctx.get(), out, &written, reinterpret_cast<const unsigned char*>(input.data()),
                         static_cast<int>(input.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out + written, &last) != 1) {
        return -3;
    }
    buffer.resize(static_cast<size_t>(written) + static_cast<size_t>(last));
    output.swap(buffer);
    return 0;
}

}  // namespace

int AesCbcEncrypt(const std::string& plain, const unsigned char* key, const unsigned char* iv,
                  std::string& cipher) {
    return Run(true, plain, key, iv, cipher);
}

int AesCbcDecrypt(const std::string& cipher, const unsigned char* key, const unsigned char* iv,
                  std::string& plain) {
    return Run(false, cipher, key, iv, plain);
}
