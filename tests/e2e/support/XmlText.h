// Escaping of text placed between XML tags by the test helpers. Kept apart
// from the service's own escaping on purpose: the helpers play the other
// side and must not share the code under test.
#pragma once

#include <string>

inline std::string XmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            default:
                out += c;
        }
    }
    return out;
}
