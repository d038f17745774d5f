// CAutoString: an owned, NUL-terminated byte string that tells a never-set
// value (null text) from an empty one. Not thread-safe; copy it across threads.
#pragma once

#include <cstddef>

class CAutoString {
public:
    CAutoString() = default;
    CAutoString(const char* text);  // NOLINT: implicit on purpose, text crosses as const char*
    CAutoString(const char* text, size_t length);
    CAutoString(const CAutoString& other);
    CAutoString(CAutoString&& other) noexcept;
    ~CAutoString();

    // Assigning null or a never-set string leaves this one unchanged.
    CAutoString& operator=(const char* text);
    CAutoString& operator=(const CAutoString& other);
    CAutoString& operator=(CAutoString&& other) noexcept;
    CAutoString& operator+=(const char* text);
    CAutoString& operator+=(const CAutoString& other);
    CAutoString& Append(const char* text, size_t length);

    // The text, or "" for a never-set string; never null.
    const char* GetBuffer() const { return m_pText ? m_pText : ""; }
    const char* c_str() const { return GetBuffer(); }
    operator const char*() const { return GetBuffer(); }  // NOLINT
    size_t GetLength() const { return m_nLength; }
    bool IsNull() const { return m_pText == nullptr; }
    bool IsEmpty() const { return m_nLength == 0; }
    void Empty();  // becomes set and empty

    // printf-style; the content is replaced only when the result is non-empty.
    int Format(const char* format, ...) __attribute__((format(printf, 2, 3)));

    int Find(char ch, int start = 0) const;
    int Find(const char* text, int start = 0) const;
    int Find(const CAutoString& text, int start = 0) const { return Find(text.GetBuffer(), start); }

    // count 0 takes everything from start.
    CAutoString Mid(int start, int count = 0) const;
    CAutoString Left(int count) const;
    CAutoString Right(int count) const;

    // Removes every space, CR and LF anywhere in the text; tabs stay.
    CAutoString& Trim();
    // Replaces every occurrence; returns how many were replaced.
    int Replace(const char* oldText, const char* newText);
    CAutoString& MakeLower();

    // A never-set string equals only a null pointer.
    bool operator==(const char* text) const;
    bool operator!=(const char* text) const { return !(*this == text); }
    bool operator==(const CAutoString& other) const;
    bool operator!=(const CAutoString& other) const { return !(*this == other); }
    // Byte-wise; a proper prefix sorts first; a never-set string sorts before "".
    bool operator<(const CAutoString& other) const;

private:
    void Assign(const char* text, size_t length);

    char* m_pText = nullptr;
    size_t m_nLength = 0;
};
