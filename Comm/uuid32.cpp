#include "uuid32.h"

#include <sys/time.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct GeneratorState {
    bool initialised = false;
    uint32_t last = 0;
    uint32_t advance = 0;
    uint16_t clockSeq = 0;
    uint16_t nodeHigh = 0;
    uint32_t nodeLow = 0;
};

GeneratorState g_state;
char g_text[37];

// Seeded afresh on every draw, so two draws in one millisecond agree.
uint32_t RandomDraw() {
    struct timeval now;
    gettimeofday(&now, nullptr);
    uint32_t millis = static_cast<uint32_t>(now.tv_usec) / 1000;
    unsigned int seed = ((static_cast<uint32_t>(now.tv_sec) & 0xffff) + millis) ^ millis;
    return static_cast<uint32_t>(rand_r(&seed));
}

void PutLE(uint8_t* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLE(const uint8_t* in, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(in[i]) << (8 * i);
    return value;
}

}  // namespace

void uuid_create(_uuid_t* uuid) {
    struct timeval now;
    gettimeofday(&now, nullptr);
    // Tenths of microseconds at millisecond resolution, wrapping at 2^32.
    uint32_t ts = (static_cast<uint32_t>(now.tv_sec) * 1000000u +
                   (static_cast<uint32_t>(now.tv_usec) / 1000u) * 1000u) *
                      10u +
                  0x13814000u;
    GeneratorState& s = g_state;
    if (!s.initialised) {
        s.last = ts;
        s.advance = 0;
        uint32_t r = RandomDraw();
        s.clockSeq = static_cast<uint16_t>(r >> 16);
        s.nodeHigh = static_cast<uint16_t>(r | 0x100);
        s.nodeLow = RandomDraw();
        s.initialised = true;
    } else if (ts < s.last) {
        s.last = ts;
        s.advance = 0;
        ++s.clockSeq;
    } else if (ts == s.last) {
        ++s.advance;
        ts += s.advance;
    } else {
        s.last = ts;
        s.advance = 0;
    }
    uuid->data1 = ts;
    uuid->data2 = static_cast<uint16_t>(ts & 0xffff);
    uuid->data3 = static_cast<uint16_t>((ts >> 16) | 0x1000);
    PutLE(uuid->data4, s.nodeLow, 4);
    PutLE(uuid->data4 + 4, s.nodeHigh, 2);
    PutLE(uuid->data4 + 6, static_cast<uint16_t>((s.clockSeq & 0x3fff) | 0x8000), 2);
}

const char* uuid_to_string(const _uuid_t* uuid) {
    snprintf(g_text, sizeof(g_text), "%08lx-%04x-%04x-%04x-%04x%08lx", uuid->data1 & 0xffffffffUL,
             static_cast<unsigned>(uuid->data2), static_cast<unsigned>(uuid->data3),
             static_cast<unsigned>(GetLE(uuid->data4 + 6, 2)),
             static_cast<unsigned>(GetLE(uuid->data4 + 4, 2)),
             static_cast<unsigned long>(GetLE(uuid->data4, 4)));
    return g_text;
}

const char* uuid_create_string() {
    _uuid_t uuid;
    uuid_create(&uuid);
    return uuid_to_string(&uuid);
}
