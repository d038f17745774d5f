// Hex text of byte strings: two lower-case digits per byte, high nibble first.
// Pure functions, callable from any thread.
#pragma once

#include <cstddef>
#include <string>

std::string BytesToHex(const void* data, size_t length);
// Reads hex digits of either case in pairs. False (and bytes cleared) for an
// odd length or a character that is not a hex digit; null reads as "".
bool HexToBytes(const char* hex, std::string& bytes);
