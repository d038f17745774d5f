// CXMLOpt: a CMarkup addressed by dotted paths ("P.newState": the element
// newState inside P, P being a child of the root whatever the root is called),
// remembering the file it was loaded from so it can be saved back.
// No lock of its own: one thread at a time (the info center locks its copy).
#pragma once

#include "AutoString.h"
#include "Markup.h"

class CXMLOpt : public CMarkup {
public:
    CXMLOpt();
    explicit CXMLOpt(const char* doc);
    ~CXMLOpt() override;

    // Load(name); on success the name is kept for SaveFile, else none is.
    bool LoadFile(const char* fileName);
    // False when no file was loaded; else Save to that file.
    bool SaveFile();

    // Moves the main position to the element the path names (its parent
    // becomes the parent position). False for an empty path, an empty name
    // in it, or a missing element.
    bool SetXMLPos(const char* path);
    // The same walk, inserting each missing element as the first child of
    // the one before it. Never creates the root: false in an empty document.
    bool CreateXMLPos(const char* path);

    // Text of the element, or "" when it is missing.
    CAutoString GetValue(const char* path);
    // Leading decimal number of the text (clamped to int), 0 when missing.
    int GetIntValue(const char* path);
    using CMarkup::GetDoc;
    // Null: the whole document; else the element with its tags, or "".
    CAutoString GetDoc(const char* path);
    // CreateXMLPos, then replace the element's text (escaped, not CDATA).
    bool SetValue(const char* path, const char* text);
    bool SetValue(const char* path, int value);

    // head = path up to the first "."; rest = what follows it. True when a
    // "." was found; rest is "" otherwise.
    static bool StringSplit(const char* path, CAutoString& head, CAutoString& rest);

    char* m_filename = nullptr;  // owned; null unless a LoadFile succeeded

private:
    bool Walk(const char* path, bool create);
};
