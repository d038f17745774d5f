#include "SimRequestDoc.h"

#include <pugixml.hpp>

std::vector<std::string> CSimRequestDoc::ExpectedElements(const std::string& exchange) {
    if (exchange == "ticket") {
        return {"ostag", "local-time", "mac", "ipv6", "ipv4", "client-id", "user-agent", "host-name"};
    }
    if (exchange == "login") return {"local-time", "ticket", "passwd", "userid", "client-id", "user-agent"};
    if (exchange == "heartbeat") {
        return {"?shared", "local-time", "mac", "ipv6", "ipv4", "ticket", "client-id", "user-agent"};
    }
    if (exchange == "logout") return {"reason", "local-time", "ticket", "client-id", "user-agent"};
    if (exchange == "state") return {"local-time", "ticket", "client-id", "user-agent"};
    if (exchange == "terminal") return {"local-time", "client-id", "user-agent"};
    return {};
}

CSimRequestDoc::CSimRequestDoc(const std::string& exchange, const std::string& text) {
    pugi::xml_document doc;
    pugi::xml_parse_result parsed =
        doc.load_string(text.c_str(), pugi::parse_default | pugi::parse_declaration);
    if (!parsed) {
        m_problems.push_back(std::string("not well-formed: ") + parsed.description());
        return;
    }
    pugi::xml_node root = doc.document_element();
    if (std::string(root.name()) != "request") {
        m_problems.push_back(std::string("root is \"") + root.name() + "\", not \"request\"");
        return;
    }
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        std::string name = child.name();
        // A value may span several text or CDATA nodes (a "]]>" inside a
        // value is written as two adjacent CDATA sections): join them all.
        std::string value;
        bool onlyCdata = true;
        for (pugi::xml_node part = child.first_child(); part; part = part.next_sibling()) {
            if (part.type() == pugi::node_pcdata || part.type() == pugi::node_cdata) value += part.value();
            if (part.type() != pugi::node_cdata) onlyCdata = false;
        }
        m_fields.emplace_back(name, value);
        bool wantCdata = name == "userid" || name == "passwd";
        // An empty value has no node to wrap; anything else must be CDATA sections.
        if (wantCdata && child.first_child() && !onlyCdata)
            m_problems.push_back(name + " is not a CDATA section");
    }

    std::vector<std::string> expected = ExpectedElements(exchange);
    size_t at = 0;
    for (const std::string& want : expected) {
        bool optional = want[0] == '?';
        std::string name = optional ? want.substr(1) : want;
        if (at < m_fields.size() && m_fields[at].first == name) {
            ++at;
        } else if (!optional) {
            m_problems.push_back(
                "expected <" + name + "> at position " + std::to_string(at + 1) +
                (at < m_fields.size() ? ", found <" + m_fields[at].first + ">" : ", found the end"));
            return;
        }
    }
    if (at < m_fields.size())
        m_problems.push_back("unexpected <" + m_fields[at].first + "> after the last element");
}

std::string CSimRequestDoc::Field(const std::string& name) const {
    for (const auto& field : m_fields) {
        if (field.first == name) return field.second;
    }
    return "";
}
