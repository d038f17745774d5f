#include "CharsetConv.h"

#include <cerrno>
#include <climits>

CCharsetConv::CCharsetConv(const char* toCode, const char* fromCode)
    : m_cd(toCode && fromCode ? iconv_open(toCode, fromCode) : reinterpret_cast<iconv_t>(-1)) {}

CCharsetConv::~CCharsetConv() {
    if (IsOpen()) iconv_close(m_cd);
}

int CCharsetConv::Convert(const char* in, size_t length, std::string& out) {
    size_t used = out.size();
    // A first guess that fits most texts; the room doubles until the text fits.
    for (size_t room = length + length / 2 + 16;; room *= 2) {
        out.resize(used + room);
        size_t left = room;
        int rc = ConvertInto(in, length, &out[used], left);
        out.resize(used + room - left);
        if (rc != -3) return rc < 0 ? rc : 0;
    }
}

int CCharsetConv::ConvertInto(const char* in, size_t length, char* out, size_t& outLeft) {
    if (!IsOpen()) return -1;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // fresh shift state
    // iconv's prototype is not const-correct.
    char* src = const_cast<char*>(in);
    size_t srcLeft = length;
    size_t rc = iconv(m_cd, &src, &srcLeft, &out, &outLeft);
    // After the input, one call with a null input writes any closing shift sequence.
    if (rc != static_cast<size_t>(-1) &&
        iconv(m_cd, nullptr, nullptr, &out, &outLeft) != static_cast<size_t>(-1))
        return rc > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(rc);
    return errno == E2BIG ? -3 : -2;
}

bool CCharsetConv::IsValidUtf8(const char* text, size_t length) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t need;
        unsigned min;
        unsigned cp;
        if ((c & 0xE0) == 0xC0) {
            need = 1, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            need = 2, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            need = 3, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (static_cast<size_t>(end - p) <= need) return false;
        for (size_t i = 1; i <= need; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        p += need + 1;
    }
    return true;
}
