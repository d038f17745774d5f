#include "DnsBackup.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

const char kMagic[] = "velnordns1";

bool IsPlain(unsigned char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '.' ||
           ch == ':' || ch == '-' || ch == '_';
}

void AppendEncoded(std::string& out, const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char ch : text) {
        if (IsPlain(ch)) {
            out += static_cast<char>(ch);
        } else {
            out += '%';
            out += kHex[ch >> 4];
            out += kHex[ch & 0xf];
        }
    }
}

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return -1;
}

bool DecodeField(const std::string& field, std::string& out) {
    out.clear();
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        if (i + 2 >= field.size()) return false;
        int high = HexValue(field[i + 1]);
        int low = HexValue(field[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool DecodeLine(const std::string& value, CDnsBackup::Line& line) {
    size_t colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 9) return false;
    for (size_t i = 0; i < colon; ++i)
        if (value[i] < '0' || value[i] > '9') return false;
    line.m_nIndex = strtoul(value.substr(0, colon).c_str(), nullptr, 10);
    return DecodeField(value.substr(colon + 1), line.m_strText) && !line.m_strText.empty();
}

}  // namespace

std::string CDnsBackup::Encode() const {
    std::string out = kMagic;
    out += " a=";
    AppendEncoded(out, m_strFirst);
    out += " b=";
    AppendEncoded(out, m_strSecond);
    for (const Line& line : m_displaced) {
        out += " d=" + std::to_string(line.m_nIndex) + ":";
        AppendEncoded(out, line.m_strText);
    }
    for (const Line& line : m_written) {
        out += " w=" + std::to_string(line.m_nIndex) + ":";
        AppendEncoded(out, line.m_strText);
    }
    return out;
}

bool CDnsBackup::Decode(const char* text) {
    CDnsBackup parsed;
    if (!text) return false;
    std::string all(text);
    // Tolerate a trailing line end from hand-edited or foreign stores.
    while (!all.empty() && (all.back() == '\n' || all.back() == '\r')) all.pop_back();
    size_t start = 0;
    bool first = true;
    while (start <= all.size()) {
        size_t end = all.find(' ', start);
        if (end == std::string::npos) end = all.size();
        std::string token = all.substr(start, end - start);
        start = end + 1;
        if (first) {
            if (token != kMagic) return false;
            first = false;
            continue;
        }
        if (token.size() < 2 || token[1] != '=') return false;
        std::string value = token.substr(2);
        Line line;
        switch (token[0]) {
            case 'a':
                if (!DecodeField(value, parsed.m_strFirst)) return false;
                break;
            case 'b':
                if (!DecodeField(value, parsed.m_strSecond)) return false;
                break;
            case 'd':
                if (!DecodeLine(value, line)) return false;
                parsed.m_displaced.push_back(line);
                break;
            case 'w':
                if (!DecodeLine(value, line)) return false;
                parsed.m_written.push_back(line);
                break;
            default:
                return false;
        }
    }
    if (first) return false;
    *this = parsed;
    return true;
}

bool CDnsBackup::Undo(std::vector<std::string>& lines) const {
    std::vector<std::string> result = lines;
    std::vector<Line> written = m_written;
    std::sort(written.begin(), written.end(),
              [](const Line& a, const Line& b) { return a.m_nIndex > b.m_nIndex; });
    bool found = false;
    for (const Line& line : written) {
        // Where it was put, unless something moved it; then its first copy.
        if (line.m_nIndex < result.size() && result[line.m_nIndex] == line.m_strText) {
            result.erase(result.begin() + static_cast<long>(line.m_nIndex));
            found = true;
            continue;
        }
        auto at = std::find(result.begin(), result.end(), line.m_strText);
        if (at != result.end()) {
            result.erase(at);
            found = true;
        }
    }
    if (!found) return false;
    std::vector<Line> displaced = m_displaced;
    std::stable_sort(displaced.begin(), displaced.end(),
                     [](const Line& a, const Line& b) { return a.m_nIndex < b.m_nIndex; });
    for (const Line& line : displaced) {
        size_t at = std::min(line.m_nIndex, result.size());
        result.insert(result.begin() + static_cast<long>(at), line.m_strText);
    }
    lines.swap(result);
    return true;
}
