#include "Markup.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "CharsetConv.h"
#include "WholeFile.h"

namespace {

// No parse_doctype: a DTD is skipped, so declared entities are never expanded
// (an undeclared reference such as "&x;" stays literal text). Whitespace text
// is kept so that a document reads back exactly as it was written.
const unsigned kParseFlags = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata |
                             pugi::parse_comments | pugi::parse_pi;
// "<P></P>" rather than "<P/>": envelopes are compared as text.
const unsigned kFormat = pugi::format_raw | pugi::format_no_declaration | pugi::format_no_empty_element_tags;

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override { text.append(static_cast<const char*>(data), size); }
};

std::string Print(const pugi::xml_node& node) {
    StringWriter writer;
    node.print(writer, "", kFormat);  // a document node prints its children in turn
    return writer.text;
}

bool IsElement(const pugi::xml_node& node) { return node.type() == pugi::node_element; }

pugi::xml_node FindFrom(pugi::xml_node node, const char* name) {
    for (; node; node = node.next_sibling()) {
        if (IsElement(node) && (!name || !*name || strcmp(node.name(), name) == 0)) return node;
    }
    return pugi::xml_node();
}

// Outside the root element a document holds only white space, comments,
// processing instructions and its declaration: an envelope with text or a
// CDATA section around it is not one envelope. (Parsed as a fragment, the
// text around the root is kept for this check; the white space then goes.)
bool OnlyMarkupOutsideRoot(pugi::xml_document& doc) {
    for (pugi::xml_node n = doc.first_child(); n;) {
        pugi::xml_node next = n.next_sibling();
        if (n.type() == pugi::node_cdata) return false;
        if (n.type() == pugi::node_pcdata) {
            if (strspn(n.value(), " \t\r\n") != strlen(n.value())) return false;
            doc.remove_child(n);
        }
        n = next;
    }
    return true;
}

int CountElements(const pugi::xml_node& parent) {
    int count = 0;
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) count += IsElement(n) ? 1 : 0;
    return count;
}

// Element levels from the document down to node (a root element is level 1).
int LevelOf(pugi::xml_node node) {
    int level = 0;
    for (; node && node.type() != pugi::node_document; node = node.parent()) ++level;
    return level;
}

// True when some element below top lies deeper than limit levels under top.
// Iterative, since the nesting is what is being checked.
bool DeeperThan(const pugi::xml_node& top, int limit) {
    pugi::xml_node node = top.first_child();
    int level = 1;
    while (node) {
        if (IsElement(node) && level > limit) return true;
        if (node.first_child()) {
            node = node.first_child();
            ++level;
            continue;
        }
        while (!node.next_sibling()) {
            node = node.parent();
            --level;
            if (node == top) return false;
        }
        node = node.next_sibling();
    }
    return false;
}

bool IsNameStart(unsigned char c) { return isalpha(c) || c == '_' || c == ':' || c >= 0x80; }

bool IsValidName(const char* name) {
    if (!name || !IsNameStart(static_cast<unsigned char>(*name))) return false;
    for (const char* p = name + 1; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (!IsNameStart(c) && !isdigit(c) && c != '-' && c != '.') return false;
    }
    return true;
}

bool IsXmlChar(unsigned long cp) {
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
           (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the reference starting at p ("&...;") into out; returns its length,
// or 0 when p does not start a reference this writer can stand behind.
size_t DecodeRef(const char* p, std::string& out) {
    const char* semi = strchr(p, ';');
    if (!semi || semi - p < 3 || semi - p > 32) return 0;
    size_t length = static_cast<size_t>(semi - p) + 1;
    if (p[1] == '#') {
        bool hex = p[2] == 'x';
        const char* digits = p + (hex ? 3 : 2);
        if (digits == semi) return 0;
        unsigned long cp = 0;
        for (const char* d = digits; d < semi; ++d) {
            if (hex ? !isxdigit(static_cast<unsigned char>(*d)) : !isdigit(static_cast<unsigned char>(*d)))
                return 0;
            int v = isdigit(static_cast<unsigned char>(*d)) ? *d - '0' : (tolower(*d) - 'a' + 10);
            cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
            if (cp > 0x10FFFF) return 0;
        }
        if (!IsXmlChar(cp)) return 0;
        AppendUtf8(out, cp);
        return length;
    }
    static const struct {
        const char* name;
        char ch;
    } kPredefined[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& entity : kPredefined) {
        size_t n = strlen(entity.name);
        if (length == n + 2 && strncmp(p + 1, entity.name, n) == 0) {
            out += entity.ch;
            return length;
        }
    }
    return 0;
}

// Text with references resolved, so the writer escapes each character once:
// "a&amp;b" and "a&b" both go out as "a&amp;b". Names the document does not
// declare stay literal (and are escaped) so the output stays well-formed.
std::string ResolveRefs(const char* text) {
    std::string out;
    for (const char* p = text; *p;) {
        if (*p == '&') {
            size_t used = DecodeRef(p, out);
            if (used) {
                p += used;
                continue;
            }
        }
        out += *p++;
    }
    return out;
}

void WriteText(pugi::xml_node element, const char* text, int flags) {
    if (flags & MNF_WITHCDATA) {
        // The writer splits a "]]>" in the text over two sections.
        element.append_child(pugi::node_cdata).set_value(text ? text : "");
        return;
    }
    if (!text || !*text) return;
    if (flags & MNF_WITHREFS) {
        element.append_child(pugi::node_pcdata).set_value(ResolveRefs(text).c_str());
    } else {
        element.append_child(pugi::node_pcdata).set_value(text);
    }
}

CAutoString TextOf(const pugi::xml_node& element) {
    if (!element) return CAutoString("");
    std::string text;
    bool hasElements = false;
    for (pugi::xml_node n = element.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) text += n.value();
        hasElements = hasElements || IsElement(n);
    }
    if (hasElements && text.find_first_not_of(" \t\r\n") == std::string::npos) text.clear();
    return CAutoString(text.c_str(), text.size());
}

CAutoString ToAuto(const std::string& text) { return CAutoString(text.c_str(), text.size()); }

bool EqualsNoCase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// iconv name used to read and write a declared encoding. The GB family is
// handled as GB18030, its superset, so a file labelled GB2312 that holds a
// GBK character still loads and every character can be saved back.
// An encoding name as XML allows it, else "": iconv would also take names
// with other bytes in them, which Save then writes escaped and the next Load
// cannot read back.
std::string CanonicalEncoding(const std::string& declared) {
    if (declared.empty() || !isalpha(static_cast<unsigned char>(declared[0]))) return "";
    for (unsigned char c : declared)
        if (!isalnum(c) && c != '.' && c != '_' && c != '-') return "";
    if (EqualsNoCase(declared, "UTF-8") || EqualsNoCase(declared, "UTF8")) return "UTF-8";
    if (EqualsNoCase(declared, "GB2312") || EqualsNoCase(declared, "GBK") ||
        EqualsNoCase(declared, "CP936") || EqualsNoCase(declared, "GB18030")) {
        return "GB18030";
    }
    return declared;
}

// Whether markup reads as ASCII in the encoding. A declaration readable as
// ASCII cannot be right about one that fails this (wide ones, UTF-7, EBCDIC),
// and a file saved in it could not be loaded again. Unknown names pass: the
// conversion refuses them later.
bool KeepsAsciiMarkup(const std::string& name) {
    static const char kProbe[] = "<?xml version=\"1.0\"?><a b='c'>d&amp;</a>";
    CCharsetConv conv(name.c_str(), "UTF-8");
    if (!conv.IsOpen()) return true;
    std::string out;
    return conv.Convert(kProbe, sizeof(kProbe) - 1, out) == 0 && out == kProbe;
}

}  // namespace

struct CMarkup::Impl {
    pugi::xml_document doc;
    pugi::xml_node parent;
    pugi::xml_node pos;
    pugi::xml_node child;
    bool parsedOk = true;
    std::string encoding;  // what Load found; empty for documents from text
    bool bom = false;

    void ResetPos() {
        parent = doc;
        pos = child = pugi::xml_node();
    }
    bool CanAddRoot() const { return parent != doc || CountElements(doc) == 0; }
    bool AddSubDoc(const char* subDoc, bool asChild);
};

CMarkup::CMarkup() : m_pImpl(new Impl) { m_pImpl->ResetPos(); }

CMarkup::CMarkup(const char* doc) : CMarkup() { SetDoc(doc); }

CMarkup::~CMarkup() = default;

bool CMarkup::SetDoc(const char* doc) { return Parse(doc, doc ? strlen(doc) : 0); }

bool CMarkup::Parse(const char* doc, size_t length) {
    Impl& m = *m_pImpl;
    m.doc.reset();
    m.ResetPos();
    m.parsedOk = true;
    m.encoding.clear();
    m.bom = false;
    if (!doc || length == 0) return false;
    if (length > kMaxDocBytes) {
        m.parsedOk = false;
        return false;
    }
    m.parsedOk =
        m.doc.load_buffer(doc, length, kParseFlags | pugi::parse_fragment, pugi::encoding_utf8).status ==
        pugi::status_ok;
    if (DeeperThan(m.doc, kMaxDepth) || !OnlyMarkupOutsideRoot(m.doc)) {
        m.doc.reset();
        m.parsedOk = false;
    }
    m.ResetPos();
    return IsWellFormed();
}

bool CMarkup::IsWellFormed() const { return m_pImpl->parsedOk && CountElements(m_pImpl->doc) == 1; }

bool CMarkup::Load(const char* fileName) {
    Parse(nullptr, 0);
    std::string raw;
    if (CWholeFile::Read(fileName, kMaxDocBytes, raw) != 0) return false;

    std::string encoding;
    bool bom = false;
    size_t skip = 0;
    if (raw.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        encoding = "UTF-8", bom = true, skip = 3;
    } else if (raw.compare(0, 2, "\xFF\xFE") == 0) {
        encoding = "UTF-16LE", bom = true, skip = 2;
    } else if (raw.compare(0, 2, "\xFE\xFF") == 0) {
        encoding = "UTF-16BE", bom = true, skip = 2;
    } else {
        encoding = CanonicalEncoding(GetDeclaredEncoding(raw.c_str()).c_str());
        if (!KeepsAsciiMarkup(encoding)) encoding.clear();
        if (encoding.empty())
            encoding = CCharsetConv::IsValidUtf8(raw.data(), raw.size()) ? "UTF-8" : "GB18030";
    }

    bool ok;
    if (encoding == "UTF-8") {
        ok = Parse(raw.data() + skip, raw.size() - skip);
    } else {
        std::string text;
        CCharsetConv conv("UTF-8", encoding.c_str());
        if (conv.Convert(raw.data() + skip, raw.size() - skip, text) != 0) return false;
        ok = Parse(text.data(), text.size());
    }
    m_pImpl->encoding = encoding;
    m_pImpl->bom = bom;
    return ok;
}

bool CMarkup::Save(const char* fileName) {
    Impl& m = *m_pImpl;
    if (!fileName || !*fileName || !IsWellFormed()) return false;
    std::string text = Print(m.doc);
    std::string encoding = m.encoding;
    std::string declared;
    pugi::xml_node decl = m.doc.first_child();
    if (decl.type() == pugi::node_declaration) {
        // A line break after the declaration, as files usually have it.
        size_t end = text.find("?>");
        if (end != std::string::npos) text.insert(end + 2, "\n");
        // Judged as Load will judge it: the parser also takes "<?xMl" for a
        // declaration, Load does not.
        declared = CanonicalEncoding(GetDeclaredEncoding(text.c_str()).c_str());
        if (!KeepsAsciiMarkup(declared)) declared.clear();
        if (encoding.empty()) encoding = declared;
    }
    text += '\n';
    if (encoding.empty()) encoding = "UTF-8";

    // Stray bytes set into an undeclared UTF-8 document would make the next
    // Load take the whole file for GB18030 and garble every other text: a
    // byte-order mark keeps it read as UTF-8.
    bool bom = m.bom || (encoding == "UTF-8" && declared.empty() &&
                         !CCharsetConv::IsValidUtf8(text.data(), text.size()));
    std::string bytes;
    if (bom) {
        if (encoding == "UTF-8") bytes = "\xEF\xBB\xBF";
        if (encoding == "UTF-16LE") bytes = "\xFF\xFE";
        if (encoding == "UTF-16BE") bytes = "\xFE\xFF";
    }
    if (encoding == "UTF-8") {
        bytes += text;
    } else {
        CCharsetConv conv(encoding.c_str(), "UTF-8");
        if (conv.Convert(text.data(), text.size(), bytes) != 0) return false;
    }
    return CWholeFile::WriteAtomic(fileName, bytes.data(), bytes.size()) == 0;
}

CAutoString CMarkup::GetDoc() const { return ToAuto(Print(m_pImpl->doc)); }

void CMarkup::ResetPos() { m_pImpl->ResetPos(); }

void CMarkup::ResetMainPos() { m_pImpl->pos = m_pImpl->child = pugi::xml_node(); }

void CMarkup::ResetChildPos() { m_pImpl->child = pugi::xml_node(); }

bool CMarkup::FindElem(const char* name) {
    Impl& m = *m_pImpl;
    pugi::xml_node found = FindFrom(m.pos ? m.pos.next_sibling() : m.parent.first_child(), name);
    if (!found) return false;
    m.pos = found;
    m.child = pugi::xml_node();
    return true;
}

bool CMarkup::FindChildElem(const char* name) {
    Impl& m = *m_pImpl;
    if (!m.pos && !FindElem()) return false;
    pugi::xml_node found = FindFrom(m.child ? m.child.next_sibling() : m.pos.first_child(), name);
    if (!found) return false;
    m.child = found;
    return true;
}

bool CMarkup::IntoElem() {
    Impl& m = *m_pImpl;
    if (!m.pos) return false;
    m.parent = m.pos;
    m.pos = m.child;
    m.child = pugi::xml_node();
    return true;
}

bool CMarkup::OutOfElem() {
    Impl& m = *m_pImpl;
    if (m.parent == m.doc) return false;
    m.child = m.pos;
    m.pos = m.parent;
    m.parent = m.parent.parent();
    return true;
}

CAutoString CMarkup::GetTagName() const { return CAutoString(m_pImpl->pos.name()); }

CAutoString CMarkup::GetChildTagName() const { return CAutoString(m_pImpl->child.name()); }

CAutoString CMarkup::GetData() const { return TextOf(m_pImpl->pos); }

CAutoString CMarkup::GetChildData() const { return TextOf(m_pImpl->child); }

CAutoString CMarkup::GetAttrib(const char* name) const {
    return CAutoString(name ? m_pImpl->pos.attribute(name).value() : "");
}

CAutoString CMarkup::GetChildAttrib(const char* name) const {
    return CAutoString(name ? m_pImpl->child.attribute(name).value() : "");
}

CAutoString CMarkup::GetSubDoc() const {
    return m_pImpl->pos ? ToAuto(Print(m_pImpl->pos)) : CAutoString("");
}

CAutoString CMarkup::GetChildSubDoc() const {
    return m_pImpl->child ? ToAuto(Print(m_pImpl->child)) : CAutoString("");
}

bool CMarkup::SetData(const char* text, int flags) {
    pugi::xml_node element = m_pImpl->pos;
    if (!element) return false;
    for (pugi::xml_node n = element.first_child(); n; n = n.next_sibling()) {
        if (IsElement(n)) return false;
    }
    while (element.first_child()) element.remove_child(element.first_child());
    WriteText(element, text, flags);
    return true;
}

bool CMarkup::SetData(int value) {
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    return SetData(text, 0);
}

bool CMarkup::SetAttrib(const char* name, const char* value) {
    if (!m_pImpl->pos || !IsValidName(name)) return false;
    pugi::xml_attribute attr = m_pImpl->pos.attribute(name);
    if (!attr) attr = m_pImpl->pos.append_attribute(name);
    return attr.set_value(value ? value : "");
}

bool CMarkup::InsertChildElem(const char* name, const char* text, int flags) {
    Impl& m = *m_pImpl;
    if (!m.pos || !IsValidName(name) || LevelOf(m.pos) >= kMaxDepth) return false;
    pugi::xml_node added = m.child ? m.pos.insert_child_before(name, m.child) : m.pos.prepend_child(name);
    if (!added) return false;
    WriteText(added, text, flags);
    m.child = added;
    return true;
}

bool CMarkup::AddChildElem(const char* name, const char* text, int flags) {
    Impl& m = *m_pImpl;
    if (!m.pos || !IsValidName(name) || LevelOf(m.pos) >= kMaxDepth) return false;
    pugi::xml_node added = m.child ? m.pos.insert_child_after(name, m.child) : m.pos.append_child(name);
    if (!added) return false;
    WriteText(added, text, flags);
    m.child = added;
    return true;
}

bool CMarkup::AddElem(const char* name, const char* text, int flags) {
    Impl& m = *m_pImpl;
    if (!IsValidName(name) || !m.CanAddRoot() || LevelOf(m.parent) >= kMaxDepth) return false;
    pugi::xml_node added = m.pos ? m.parent.insert_child_after(name, m.pos) : m.parent.append_child(name);
    if (!added) return false;
    WriteText(added, text, flags);
    m.pos = added;
    m.child = pugi::xml_node();
    return true;
}

bool CMarkup::AddSubDoc(const char* subDoc) { return m_pImpl->AddSubDoc(subDoc, false); }

bool CMarkup::AddChildSubDoc(const char* subDoc) { return m_pImpl->AddSubDoc(subDoc, true); }

bool CMarkup::Impl::AddSubDoc(const char* subDoc, bool asChild) {
    pugi::xml_node under = asChild ? pos : parent;
    pugi::xml_node after = asChild ? child : pos;
    if (!under || !subDoc || strlen(subDoc) > kMaxDocBytes || (!asChild && !CanAddRoot())) return false;
    pugi::xml_document part;
    if (part.load_string(subDoc, kParseFlags).status != pugi::status_ok || CountElements(part) != 1)
        return false;
    pugi::xml_node element = FindFrom(part.first_child(), nullptr);
    if (DeeperThan(part, kMaxDepth - LevelOf(under))) return false;
    pugi::xml_node added = after ? under.insert_copy_after(element, after) : under.append_copy(element);
    if (!added) return false;
    if (asChild) {
        child = added;
    } else {
        pos = added;
        child = pugi::xml_node();
    }
    return true;
}

CAutoString CMarkup::GetDeclaredEncoding(const char* text) {
    if (!text || strncmp(text, "<?xml", 5) != 0 || !isspace(static_cast<unsigned char>(text[5]))) {
        return CAutoString("");
    }
    const char* end = strstr(text, "?>");
    if (!end) return CAutoString("");
    std::string decl(text, static_cast<size_t>(end - text));
    size_t at = decl.find("encoding");
    if (at == std::string::npos) return CAutoString("");
    at += 8;
    while (at < decl.size() && isspace(static_cast<unsigned char>(decl[at]))) ++at;
    if (at >= decl.size() || decl[at] != '=') return CAutoString("");
    ++at;
    while (at < decl.size() && isspace(static_cast<unsigned char>(decl[at]))) ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return CAutoString("");
    size_t close = decl.find(decl[at], at + 1);
    if (close == std::string::npos) return CAutoString("");
    return ToAuto(decl.substr(at + 1, close - at - 1));
}
