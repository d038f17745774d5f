// CSimRequestDoc: a decoded portal request document, checked against the
// shape the portal expects for one exchange (root "request", its elements in
// order, account and password as CDATA). Plain value object; any thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

class CSimRequestDoc {
public:
    // Parses and checks; problems are collected, never thrown.
    CSimRequestDoc(const std::string& exchange, const std::string& text);

    bool Ok() const { return m_problems.empty(); }
    const std::vector<std::string>& Problems() const { return m_problems; }
    // Child elements of "request" in document order, with their text.
    const std::vector<std::pair<std::string, std::string>>& Fields() const { return m_fields; }
    std::string Field(const std::string& name) const;

    // The element names an exchange's request holds, in order; "?" marks an
    // element that may be left out.
    static std::vector<std::string> ExpectedElements(const std::string& exchange);

private:
    std::vector<std::string> m_problems;
    std::vector<std::pair<std::string, std::string>> m_fields;
};
