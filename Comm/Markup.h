// CMarkup: an XML element navigator over one document held in memory as UTF-8.
// A position is a parent element, a main element under it and a child
// element under the main one; "reset" means no main (or child) position.
// Not thread-safe: one thread at a time per object (callers lock if shared).
// Texts returned are owned copies; texts passed in are only read during the call.
#pragma once

#include <memory>

#include "AutoString.h"

// Flags for the text written by SetData, AddElem, AddChildElem, InsertChildElem.
enum {
    MNF_WITHCDATA = 0x01,  // text as a CDATA section ("]]>" is split over two sections)
    MNF_WITHREFS = 0x02,   // "&amp;", "&#38;", ... in the text are references, not literal text
};

class CMarkup {
public:
    // Refused on input: longer texts or files, deeper element nesting.
    static constexpr size_t kMaxDocBytes = 8u * 1024 * 1024;
    static constexpr int kMaxDepth = 256;

    CMarkup();
    explicit CMarkup(const char* doc);
    virtual ~CMarkup();
    CMarkup(const CMarkup&) = delete;
    CMarkup& operator=(const CMarkup&) = delete;

    // Parses text (null or "" gives an empty document); resets the position.
    // Malformed text leaves what parsed; too large or too deep text leaves an
    // empty document. Returns IsWellFormed().
    bool SetDoc(const char* doc);
    // The text parsed without error and the document has exactly one root element.
    bool IsWellFormed() const;
    // Whole file, converted to UTF-8 from its byte-order mark, declared
    // encoding, or (undeclared and not valid UTF-8) GB18030. False when the
    // file cannot be read or is not well-formed.
    bool Load(const char* fileName);
    // Writes the document in the encoding it was loaded in (else the declared
    // one, else UTF-8) to a temporary file in the same directory, then renames
    // it over fileName; on any failure the old file is untouched and the
    // result is false. A document without exactly one root is not saved.
    bool Save(const char* fileName);
    // Compact text; an XML declaration only when the source text had one.
    CAutoString GetDoc() const;

    void ResetPos();       // no main position, at the document level
    void ResetMainPos();   // no main position under the current parent
    void ResetChildPos();  // no child position
    // Next sibling element named name (any element for null or ""); when the
    // main position is reset, the first such element under the parent.
    bool FindElem(const char* name = nullptr);
    // Next child of the main position; moves to the root first when reset.
    bool FindChildElem(const char* name = nullptr);
    bool IntoElem();   // main becomes parent, child becomes main
    bool OutOfElem();  // parent becomes main, main becomes child

    CAutoString GetTagName() const;
    CAutoString GetChildTagName() const;
    // Unescaped text of the element outside its child elements (CDATA
    // sections included); whitespace between child elements reads as "".
    CAutoString GetData() const;
    CAutoString GetChildData() const;
    CAutoString GetAttrib(const char* name) const;
    CAutoString GetChildAttrib(const char* name) const;
    // The element with its own tags.
    CAutoString GetSubDoc() const;
    CAutoString GetChildSubDoc() const;

    // Replaces the main element's text; false without a main position or when
    // it holds child elements (they would be lost).
    bool SetData(const char* text, int flags = 0);
    bool SetData(int value);
    bool SetAttrib(const char* name, const char* value);

    // New elements need a valid XML name. InsertChildElem puts the child
    // before the child position (first child when reset); AddChildElem after
    // it (last child when reset); AddElem after the main position (last under
    // the parent when reset; the root only when the document has none).
    // The new element becomes the child (or main) position.
    bool InsertChildElem(const char* name, const char* text = nullptr, int flags = 0);
    bool AddChildElem(const char* name, const char* text = nullptr, int flags = 0);
    bool AddElem(const char* name, const char* text = nullptr, int flags = 0);
    // Like AddElem / AddChildElem with a ready-made element given as text.
    bool AddSubDoc(const char* subDoc);
    bool AddChildSubDoc(const char* subDoc);

    // The encoding named in an XML declaration at the start of text, or "".
    static CAutoString GetDeclaredEncoding(const char* text);

private:
    struct Impl;
    bool Parse(const char* doc, size_t length);
    std::unique_ptr<Impl> m_pImpl;
};
