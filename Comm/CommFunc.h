// CommFunc: small system helpers shared by both programs (processor count,
// directories, in-place trimming and case, shell lines, neighbour MACs, local
// time) and the free functions Sleep, IsTelNum and itoa.
// Everything here keeps no state beyond a cached processor count and may run
// on any thread. Buffers are owned by the caller.
#pragma once

#include <cstddef>

#include "AutoString.h"

namespace CommFunc {

// Processors on line (the configured count when that query fails), computed
// once per process, shifted left by shift.
unsigned long ProcCount(unsigned shift = 0);

// Creates every directory along path; with lastIsFile the last component is
// left alone. Existing directories are no error.
bool RecuMkDir(const char* path, unsigned mode, bool lastIsFile);

// Cuts trailing characters of set in place and returns the first character
// that is not in set (null for a null text).
char* Trim(char* text, const char* set);
// Moves text over leading characters of set within length bytes (0 = the
// string length) and returns how many bytes remain.
size_t TrimLeft(const char*& text, size_t length, const char* set);
// Walks back from end (one past the last byte; null = the string's end) over
// NUL bytes and characters of set. When anything was cut, writes terminator
// just after the kept text and returns the position after it (after the
// terminator itself when it is not NUL); otherwise returns end.
char* TrimRight(char* text, char* end, const char* set, char terminator = '\0');
// Convert length bytes (0 = the string length) in place; return text.
char* MarkLower(char* text, size_t length = 0);
char* MarkUpper(char* text, size_t length = 0);

// Runs a fixed command line through the shell and returns its first output
// line (at most size - 1 bytes) trimmed of blanks and line ends, pointing into
// buffer. Null when an argument is missing or the shell cannot be started.
// Never pass text from the portal, a file or the pipe here.
char* GetShellLine(const char* command, char* buffer, size_t size);

// The neighbour table's hardware address ("aa:bb:cc:dd:ee:ff") of a complete
// entry for ipv4, or an empty text; the address never reaches a shell.
char* GetMacFromIPv4(const char* ipv4, char* buffer, size_t size, const char* arpFile = "/proc/net/arp");

// Runs a fixed command line through the shell and waits; false when the shell
// could not run it (status 127) or could not be started at all.
bool ShellExecute(const char* command);

// The local time formatted by strftime (at most 99 characters).
CAutoString GetLocalTime(const char* format = "%Y-%m-%d %H:%M:%S");

}  // namespace CommFunc

// Suspends the calling thread for ms milliseconds.
void Sleep(unsigned long ms);
// 1 when text is exactly eleven ASCII digits, else 0.
int IsTelNum(const CAutoString& text);
// Writes value in decimal (radix is ignored, callers pass 10) with a NUL into
// buffer, which must hold 12 bytes; returns buffer.
char* itoa(int value, char* buffer, int radix);
