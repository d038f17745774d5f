// The XML navigator on arbitrary documents: parse, dotted-path reads and
// writes, sub-documents, and a save and reload through a file.
// Input: document \0 path \0 path \0 value.
#include <cstring>

#include "CharsetConv.h"
#include "FuzzSupport.h"
#include "XMLOpt.h"

namespace {

bool IsUtf8(const char* text) { return CCharsetConv::IsValidUtf8(text, strlen(text)); }

// XML reads every line end as a line feed, so a carriage return set into a
// text comes back as one.
std::string LineFeeds(const char* text) {
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '\r' && p[1] == '\n') continue;
        out += *p == '\r' ? '\n' : *p;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = fuzz::Split(data, size, 4);
    const std::string& text = parts[0];
    CXMLOpt doc(text.c_str());
    bool wellFormed = doc.IsWellFormed();

    for (int i = 1; i <= 2; ++i) {
        const char* path = parts[i].c_str();
        doc.GetValue(path);
        doc.GetIntValue(path);
        CAutoString sub = doc.GetDoc(path);
        if (wellFormed && !sub.IsEmpty()) {
            CXMLOpt reparsed(sub);
            fuzz::Check(reparsed.IsWellFormed(), "a sub-document re-parses");
            fuzz::Check(reparsed.GetDoc() == sub.c_str(), "a sub-document re-parses to itself");
        }
        CAutoString head, rest;
        CXMLOpt::StringSplit(path, head, rest);
        doc.SetXMLPos(path);
        doc.GetSubDoc();
        doc.GetData();
        doc.GetAttrib("name");
    }

    if (!wellFormed) return 0;
    const std::string value = fuzz::CText(parts[3]);
    if (doc.SetValue(parts[1].c_str(), value.c_str()) && IsUtf8(value.c_str())) {
        CAutoString written = doc.GetValue(parts[1].c_str());
        fuzz::Check(written == value.c_str(), "a value set reads back");
    }
    CAutoString before = doc.GetDoc();
    const std::string file = fuzz::ScratchPath("doc.xml");
    if (doc.Save(file.c_str()) && IsUtf8(before.c_str()) && CMarkup::GetDeclaredEncoding(before).IsEmpty()) {
        CXMLOpt reloaded;
        fuzz::Check(reloaded.LoadFile(file.c_str()), "a saved document loads");
        fuzz::Check(LineFeeds(reloaded.GetDoc()) == LineFeeds(before), "a saved document reloads unchanged");
    }
    return 0;
}
