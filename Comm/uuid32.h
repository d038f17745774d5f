// Time-based identifiers in the textual layout of a version-1 UUID, for the
// installation's client id. The generator keeps per-process state and one
// static text buffer: call it from one thread (the service's main thread).
#pragma once

#include <cstdint>

struct _uuid_t {
    unsigned long data1;  // holds a 32-bit value
    uint16_t data2;
    uint16_t data3;
    // node low (0-3), node high (4-5), clock sequence word (6-7), each LSB first
    uint8_t data4[8];
};

void uuid_create(_uuid_t* uuid);
// Formats into a static buffer that the next call overwrites.
const char* uuid_to_string(const _uuid_t* uuid);
const char* uuid_create_string();
