// AES-128-CBC with PKCS#7 padding (always 1 to 16 bytes added) through
// OpenSSL EVP. Pure functions, callable from any thread; keys and IVs are
// borrowed for the call only.
#pragma once

#include <cstddef>
#include <string>

constexpr size_t kAes128KeySize = 16;
constexpr size_t kAesBlockSize = 16;

// Results: 0; -1 null key or IV; -2 no cipher context; -3 the cipher failed
// (for decryption also: the length is not whole blocks or the padding is bad).
// The output is cleared on failure.
int AesCbcEncrypt(const std::string& plain, const unsigned char* key, const unsigned char* iv,
                  std::string& cipher);
int AesCbcDecrypt(const std::string& cipher, const unsigned char* key, const unsigned char* iv,
                  std::string& plain);
