#include "AutoString.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

CAutoString::CAutoString(const char* text) {
    if (text) Assign(text, strlen(text));
}

CAutoString::CAutoString(const char* text, size_t length) {
    if (text) Assign(text, length);
}

CAutoString::CAutoString(const CAutoString& other) {
    if (other.m_pText) Assign(other.m_pText, other.m_nLength);
}

CAutoString::CAutoString(CAutoString&& other) noexcept
    : m_pText(std::exchange(other.m_pText, nullptr)), m_nLength(std::exchange(other.m_nLength, 0)) {}

CAutoString::~CAutoString() { free(m_pText); }

CAutoString& CAutoString::operator=(const char* text) {
    if (text) Assign(text, strlen(text));
    return *this;
}

CAutoString& CAutoString::operator=(const CAutoString& other) {
    if (this != &other && other.m_pText) Assign(other.m_pText, other.m_nLength);
    return *this;
}

CAutoString& CAutoString::operator=(CAutoString&& other) noexcept {
    if (this != &other && other.m_pText) {
        free(m_pText);
        m_pText = std::exchange(other.m_pText, nullptr);
        m_nLength = std::exchange(other.m_nLength, 0);
    }
    return *this;
}

CAutoString& CAutoString::operator+=(const char* text) { return text ? Append(text, strlen(text)) : *this; }

CAutoString& CAutoString::operator+=(const CAutoString& other) {
    return other.m_pText ? Append(other.m_pText, other.m_nLength) : *this;
}

CAutoString& CAutoString::Append(const char* text, size_t length) {
    if (!text) return *this;
    char* grown = static_cast<char*>(malloc(m_nLength + length + 1));
    if (!grown) throw std::bad_alloc();
    if (m_nLength) memcpy(grown, m_pText, m_nLength);
    memcpy(grown + m_nLength, text, length);
    grown[m_nLength + length] = '\0';
    free(m_pText);
    m_pText = grown;
    m_nLength += length;
    return *this;
}

void CAutoString::Assign(const char* text, size_t length) {
    // Copy first: text may point into our own buffer.
    char* copy = static_cast<char*>(malloc(length + 1));
    if (!copy) throw std::bad_alloc();
    memcpy(copy, text, length);
    copy[length] = '\0';
    free(m_pText);
    m_pText = copy;
    m_nLength = length;
}

void CAutoString::Empty() { Assign("", 0); }

int CAutoString::Format(const char* format, ...) {
    if (!format) return 0;
    va_list args;
    va_start(args, format);
    char* text = nullptr;
    int length = vasprintf(&text, format, args);
    va_end(args);
    if (length > 0) {
        free(m_pText);
        m_pText = text;
        m_nLength = static_cast<size_t>(length);
        return length;
    }
    if (length == 0) free(text);
    return 0;
}

int CAutoString::Find(char ch, int start) const {
    if (!m_pText || start < 0 || static_cast<size_t>(start) >= m_nLength) return -1;
    const void* hit = memchr(m_pText + start, ch, m_nLength - start);
    return hit ? static_cast<int>(static_cast<const char*>(hit) - m_pText) : -1;
}

int CAutoString::Find(const char* text, int start) const {
    if (!m_pText || !text || start < 0 || static_cast<size_t>(start) > m_nLength) return -1;
    const char* hit = strstr(m_pText + start, text);
    return hit ? static_cast<int>(hit - m_pText) : -1;
}

CAutoString CAutoString::Mid(int start, int count) const {
    if (!m_pText) return CAutoString();
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) >= m_nLength || count < 0) return CAutoString("");
    size_t available = m_nLength - start;
    size_t take = (count == 0 || static_cast<size_t>(count) > available) ? available : count;
    return CAutoString(m_pText + start, take);
}

CAutoString CAutoString::Left(int count) const {
    if (!m_pText) return CAutoString();
    if (count <= 0) return CAutoString("");
    return CAutoString(m_pText, static_cast<size_t>(count) < m_nLength ? count : m_nLength);
}

CAutoString CAutoString::Right(int count) const {
    if (!m_pText) return CAutoString();
    if (count <= 0) return CAutoString("");
    size_t take = static_cast<size_t>(count) < m_nLength ? count : m_nLength;
    return CAutoString(m_pText + m_nLength - take, take);
}

CAutoString& CAutoString::Trim() {
    if (!m_pText) return *this;
    size_t kept = 0;
    for (size_t i = 0; i < m_nLength; ++i) {
        char c = m_pText[i];
        if (c != ' ' && c != '\r' && c != '\n') m_pText[kept++] = c;
    }
    m_pText[kept] = '\0';
    m_nLength = kept;
    return *this;
}

int CAutoString::Replace(const char* oldText, const char* newText) {
    if (!m_pText || !oldText || !*oldText) return 0;
    if (!newText) newText = "";
    size_t oldLength = strlen(oldText);
    size_t newLength = strlen(newText);
    CAutoString result("");
    int replaced = 0;
    size_t pos = 0;
    while (pos < m_nLength) {
        const char* hit = strstr(m_pText + pos, oldText);
        if (!hit) break;
        size_t at = static_cast<size_t>(hit - m_pText);
        result.Append(m_pText + pos, at - pos);
        result.Append(newText, newLength);
        pos = at + oldLength;
        ++replaced;
    }
    if (replaced) {
        result.Append(m_pText + pos, m_nLength - pos);
        *this = std::move(result);
    }
    return replaced;
}

CAutoString& CAutoString::MakeLower() {
    for (size_t i = 0; i < m_nLength; ++i) {
        unsigned char c = static_cast<unsigned char>(m_pText[i]);
        if (c >= 'A' && c <= 'Z') m_pText[i] = static_cast<char>(c - 'A' + 'a');
    }
    return *this;
}

bool CAutoString::operator==(const char* text) const {
    if (!m_pText || !text) return m_pText == nullptr && text == nullptr;
    return strlen(text) == m_nLength && memcmp(m_pText, text, m_nLength) == 0;
}

bool CAutoString::operator==(const CAutoString& other) const {
    if (!m_pText || !other.m_pText) return m_pText == nullptr && other.m_pText == nullptr;
    return m_nLength == other.m_nLength && memcmp(m_pText, other.m_pText, m_nLength) == 0;
}

bool CAutoString::operator<(const CAutoString& other) const {
    if (!other.m_pText) return false;
    if (!m_pText) return true;
    size_t common = m_nLength < other.m_nLength ? m_nLength : other.m_nLength;
    int order = memcmp(m_pText, other.m_pText, common);
    if (order != 0) return order < 0;
    return m_nLength < other.m_nLength;
}
