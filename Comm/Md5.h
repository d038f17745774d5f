// MD5 digests (RFC 1321) as 32 lower-case hex digits, through OpenSSL EVP.
// Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <string>

// The digest of length bytes; "" when the digest cannot be computed.
std::string Md5Hex(const void* data, size_t length);
// The digest of a NUL-terminated text (null counts as "").
std::string Md5Hex(const char* text);
// The digest of a whole file, read in pieces; "" when it cannot be read.
std::string Md5HexFile(const char* fileName);
