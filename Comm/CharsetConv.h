// CCharsetConv: owner of one iconv conversion descriptor, converting whole
// texts between character sets (XML files, portal answers, Wi-Fi rules).
// One object per thread at a time: iconv keeps shift state in the descriptor.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>

class CCharsetConv {
public:
    // Names as iconv knows them ("UTF-8", "GB18030", "UTF-16LE").
    CCharsetConv(const char* toCode, const char* fromCode);
    ~CCharsetConv();
    CCharsetConv(const CCharsetConv&) = delete;
    CCharsetConv& operator=(const CCharsetConv&) = delete;

    bool IsOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts all of [in, in + length) and appends it to out. The whole input
    // goes to iconv in one piece, so a multi-byte character is never split
    // between two calls. 0 on success; -1 when the descriptor did not open;
    // -2 for a byte sequence that is invalid, truncated or has no mapping in
    // the target set (out then holds what was converted before it).
    int Convert(const char* in, size_t length, std::string& out);
    // Converts all of [in, in + length) into [out, out + outLeft), closing
    // shift sequence included; outLeft ends as the room left. The count of
    // irreversible conversions (at most INT_MAX) on success; -1 when the
    // descriptor did not open; -2 as Convert; -3 when the room ran out.
    int ConvertInto(const char* in, size_t length, char* out, size_t& outLeft);

    // Strict check: no overlong forms, no surrogates, nothing above U+10FFFF.
    static bool IsValidUtf8(const char* text, size_t length);

private:
    iconv_t m_cd;
};
