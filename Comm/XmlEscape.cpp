#include "XmlEscape.h"

#include <string>

CAutoString XmlEscape(const char* text) {
    std::string out;
    if (text) {
        for (const char* p = text; *p; ++p) {
            switch (*p) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                case '\'':
                    out += "&apos;";
                    break;
                default:
                    out += *p;
                    break;
            }
        }
    }
    return CAutoString(out.c_str(), out.size());
}
