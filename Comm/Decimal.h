// Decimal: whole decimal numbers read from files, settings and messages,
// where a half-read number would pass for a real one (a garbled state read
// as 0, "1 junk" read as 1). Stateless; any thread.
#pragma once

#include <limits>
#include <type_traits>

namespace Decimal {

// The whole text as a number: blanks (space, tab, CR, LF) around it, a sign
// only where the range holds negative numbers, at least one digit. Sets
// negative and magnitude; false for anything else and on overflow.
inline bool Split(const char* text, bool signAllowed, bool& negative, unsigned long long& magnitude) {
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    if (!text) return false;
    while (isBlank(*text)) ++text;
    negative = false;
    if (signAllowed && (*text == '-' || *text == '+')) negative = *text++ == '-';
    if (*text < '0' || *text > '9') return false;
    constexpr unsigned long long kMax = std::numeric_limits<unsigned long long>::max();
    unsigned long long number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        unsigned digit = static_cast<unsigned>(*text - '0');
        if (number > (kMax - digit) / 10) return false;
        number = number * 10 + digit;
    }
    while (isBlank(*text)) ++text;
    if (*text) return false;
    magnitude = number;
    return true;
}

// The whole text as a number within [min, max]; false, value unchanged,
// for null or other text and for numbers outside the range.
template <typename T>
bool Parse(const char* text, T& value, T min = std::numeric_limits<T>::min(),
           T max = std::numeric_limits<T>::max()) {
    static_assert(std::is_integral<T>::value, "a decimal is read into an integer");
    bool negative = false;
    unsigned long long magnitude = 0;
    T number = 0;
    if constexpr (std::is_signed<T>::value) {
        if (!Split(text, min < 0, negative, magnitude)) return false;
        // Measured against the limit's magnitude, so no step overflows.
        unsigned long long limit = negative ? static_cast<unsigned long long>(-(min + 1)) + 1
                                            : static_cast<unsigned long long>(std::numeric_limits<T>::max());
        if (magnitude > limit) return false;
        number = magnitude == 0 ? 0
                 : negative     ? static_cast<T>(-static_cast<T>(magnitude - 1) - 1)
                                : static_cast<T>(magnitude);
    } else {
        if (!Split(text, false, negative, magnitude) || magnitude > std::numeric_limits<T>::max())
            return false;
        number = static_cast<T>(magnitude);
    }
    if (number < min || number > max) return false;
    value = number;
    return true;
}

}  // namespace Decimal
