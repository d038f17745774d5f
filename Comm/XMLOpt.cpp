#include "XMLOpt.h"

#include <climits>
#include <cstdlib>
#include <cstring>

CXMLOpt::CXMLOpt() = default;

CXMLOpt::CXMLOpt(const char* doc) : CMarkup(doc) {}

CXMLOpt::~CXMLOpt() { free(m_filename); }

bool CXMLOpt::LoadFile(const char* fileName) {
    free(m_filename);
    m_filename = nullptr;
    if (!Load(fileName)) return false;
    m_filename = strdup(fileName);
    return m_filename != nullptr;
}

bool CXMLOpt::SaveFile() { return m_filename && Save(m_filename); }

bool CXMLOpt::StringSplit(const char* path, CAutoString& head, CAutoString& rest) {
    if (!path) path = "";
    const char* dot = strchr(path, '.');
    if (!dot) {
        head = CAutoString(path);
        rest = CAutoString("");
        return false;
    }
    head = CAutoString(path, static_cast<size_t>(dot - path));
    rest = CAutoString(dot + 1);
    return true;
}

bool CXMLOpt::Walk(const char* path, bool create) {
    if (!path || !*path) return false;
    ResetPos();
    CAutoString remaining(path);
    while (true) {
        CAutoString head;
        CAutoString rest;
        bool more = StringSplit(remaining, head, rest);
        // "a..b" or a trailing "." names no element.
        if (head.IsEmpty()) return false;
        if (!FindChildElem(head)) {
            // The child position was reset by the last IntoElem (or the
            // ResetPos above), so the new element becomes the first child.
            if (!create || !InsertChildElem(head, "")) return false;
        }
        IntoElem();
        if (!more) return true;
        remaining = rest;
    }
}

bool CXMLOpt::SetXMLPos(const char* path) { return Walk(path, false); }

bool CXMLOpt::CreateXMLPos(const char* path) { return Walk(path, true); }

CAutoString CXMLOpt::GetValue(const char* path) { return SetXMLPos(path) ? GetData() : CAutoString(""); }

int CXMLOpt::GetIntValue(const char* path) {
    if (!SetXMLPos(path)) return 0;
    CAutoString text = GetData();
    long value = strtol(text, nullptr, 10);
    // Out of range clamps instead of wrapping (atoi would be undefined here).
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

CAutoString CXMLOpt::GetDoc(const char* path) {
    if (!path) return CMarkup::GetDoc();
    return SetXMLPos(path) ? GetSubDoc() : CAutoString("");
}

bool CXMLOpt::SetValue(const char* path, const char* text) { return CreateXMLPos(path) && SetData(text, 0); }

bool CXMLOpt::SetValue(const char* path, int value) { return CreateXMLPos(path) && SetData(value); }
