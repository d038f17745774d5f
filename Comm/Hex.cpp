#include "Hex.h"

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string BytesToHex(const void* data, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    if (!data) return hex;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    hex.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        hex.push_back(kDigits[bytes[i] >> 4]);
        hex.push_back(kDigits[bytes[i] & 0x0f]);
    }
    return hex;
}

bool HexToBytes(const char* hex, std::string& bytes) {
    bytes.clear();
    if (!hex) return true;
    std::string out;
    for (const char* p = hex; *p; p += 2) {
        int high = DigitValue(p[0]);
        int low = p[1] ? DigitValue(p[1]) : -1;
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high << 4 | low));
    }
    bytes.swap(out);
    return true;
}
