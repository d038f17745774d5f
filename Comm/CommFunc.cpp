#include "CommFunc.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "SimpleFile.h"
#include "UniqueStream.h"

namespace {

bool InSet(char ch, const char* set) { return ch != '\0' && set && strchr(set, ch) != nullptr; }

}  // namespace

namespace CommFunc {

unsigned long ProcCount(unsigned shift) {
    static const unsigned long count = [] {
        long online = sysconf(_SC_NPROCESSORS_ONLN);
        if (online < 1) online = sysconf(_SC_NPROCESSORS_CONF);
        return online < 1 ? 1ul : static_cast<unsigned long>(online);
    }();
    return count << shift;
}

bool RecuMkDir(const char* path, unsigned mode, bool lastIsFile) {
    return CSimpleFile::RecuMkDir(path, static_cast<mode_t>(mode), lastIsFile);
}

char* Trim(char* text, const char* set) {
    if (!text) return nullptr;
    TrimRight(text, nullptr, set, '\0');
    const char* start = text;
    TrimLeft(start, 0, set);
    return text + (start - text);
}

size_t TrimLeft(const char*& text, size_t length, const char* set) {
    if (!text) return 0;
    if (length == 0) length = strlen(text);
    while (length > 0 && InSet(*text, set)) {
        ++text;
        --length;
    }
    return length;
}

char* TrimRight(char* text, char* end, const char* set, char terminator) {
    if (!text) return nullptr;
    if (!end) end = text + strlen(text);
    char* kept = end;
    while (kept > text && (kept[-1] == '\0' || InSet(kept[-1], set))) --kept;
    if (kept == end) return end;
    *kept = terminator;
    return terminator != '\0' ? kept + 1 : kept;
}

char* MarkLower(char* text, size_t length) {
    if (!text) return nullptr;
    if (length == 0) length = strlen(text);
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(tolower(static_cast<unsigned char>(text[i])));
    return text;
}

char* MarkUpper(char* text, size_t length) {
    if (!text) return nullptr;
    if (length == 0) length = strlen(text);
    for (size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>(toupper(static_cast<unsigned char>(text[i])));
    return text;
}

char* GetShellLine(const char* command, char* buffer, size_t size) {
    if (!command || !*command || !buffer || size == 0) return nullptr;
    CUniquePipe stream(popen(command, "r"));
    if (!stream) return nullptr;
    buffer[0] = '\0';
    if (size > 1 && !fgets(buffer, static_cast<int>(size > 0x7fffffff ? 0x7fffffff : size), stream.get()))
        buffer[0] = '\0';
    // Drain the rest so the command never dies of a broken pipe mid-write.
    char sink[256];
    while (fgets(sink, sizeof(sink), stream.get())) {
    }
    return Trim(buffer, " \r\n\t");
}

char* GetMacFromIPv4(const char* ipv4, char* buffer, size_t size, const char* arpFile) {
    if (!buffer || size == 0) return buffer;
    buffer[0] = '\0';
    if (!ipv4 || !*ipv4 || !arpFile) return buffer;
    CUniqueFile file(fopen(arpFile, "r"));
    if (!file) return buffer;
    // "IP address  HW type  Flags  HW address  Mask  Device"; flag 0x2 marks a
    // complete entry, anything else has no usable hardware address yet.
    char line[512];
    while (fgets(line, sizeof(line), file.get())) {
        char address[64], type[16], flags[16], mac[64];
        if (sscanf(line, "%63s %15s %15s %63s", address, type, flags, mac) != 4) continue;
        if (strcmp(address, ipv4) != 0) continue;
        unsigned long flagBits = strtoul(flags, nullptr, 16);
        if ((flagBits & 0x2) && isxdigit(static_cast<unsigned char>(mac[0])))
            snprintf(buffer, size, "%s", mac);
        break;
    }
    return buffer;
}

bool ShellExecute(const char* command) {
    if (!command || !*command) return false;
    int status = system(command);
    if (status == -1) return false;
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 127);
}

CAutoString GetLocalTime(const char* format) {
    char text[100] = {0};
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    strftime(text, sizeof(text), format ? format : "", &local);
    CAutoString result;
    result.Empty();
    result = text;
    return result;
}

}  // namespace CommFunc

void Sleep(unsigned long ms) {
    struct timespec left;
    left.tv_sec = static_cast<time_t>(ms / 1000);
    left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

int IsTelNum(const CAutoString& text) {
    if (text.GetLength() != 11) return 0;
    const char* digits = text.GetBuffer();
    for (size_t i = 0; i < 11; ++i)
        if (digits[i] < '0' || digits[i] > '9') return 0;
    return 1;
}

char* itoa(int value, char* buffer, int /*radix*/) {
    if (!buffer) return nullptr;
    char reversed[12];
    size_t count = 0;
    // Work on the magnitude as unsigned so INT_MIN has no overflow.
    unsigned int magnitude =
        value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    size_t out = 0;
    if (value < 0) buffer[out++] = '-';
    while (count > 0) buffer[out++] = reversed[--count];
    buffer[out] = '\0';
    return buffer;
}
