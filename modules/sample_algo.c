/* Sample algorithm module. A keyed, chained XOR over the text's bytes,
 * written out as lower-case hexadecimal, so the result is printable and
 * never holds a NUL. Both directions are here: a portal decodes a request
 * with Prepare and encodes its answer with Code, and the client does the
 * reverse. The module keeps no state between calls, so it can be loaded
 * and unloaded around every single use. */
#include <stdlib.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

#ifndef SAMPLE_ALGO_KEY_ID
#define SAMPLE_ALGO_KEY_ID "001"
#endif

typedef void (*PrepareCallback)(const char* prefix, const char* text, void* context);

struct SampleKey {
    const char* id;
    const char* text;
};

/* Key identifiers are the three characters a module file starts with. */
static const struct SampleKey kKeys[] = {
    {"001", "Velnor sample key one: 7c1e9a42d05b"},
    {"002", "Velnor sample key two: e3f60b1d8a27"},
    {"003", "Velnor sample key three: 5a9c24e7f310"},
};

enum {
    kPrepareOk = 1,
    kPrepareBadArgs = -1,
    kPrepareNoKey = -2,
    kPrepareBadInput = -3,
    kPrepareNoMemory = -4
};

static const char* FindKey(const char* id) {
    size_t i;
    if (!id) return NULL;
    for (i = 0; i < sizeof(kKeys) / sizeof(kKeys[0]); ++i) {
        if (strcmp(kKeys[i].id, id) == 0) return kKeys[i].text;
    }
    return NULL;
}

/* One byte of the key stream: the key repeated, stirred with the position so
 * that a repeated key does not show through repeated input. */
static unsigned char StreamByte(const char* key, size_t keyLength, size_t position) {
    unsigned char k = (unsigned char)key[position % keyLength];
    return (unsigned char)(k ^ (unsigned char)(position * 0x9Du + 0x3Bu) ^ (unsigned char)(position >> 8));
}

/* Each cipher byte also folds in the cipher byte before it, so a change in
 * one position changes everything after it. */
static void Scramble(const char* key, unsigned char* data, size_t length) {
    size_t keyLength = strlen(key), i;
    unsigned char previous = (unsigned char)keyLength;
    for (i = 0; i < length; ++i) {
        data[i] = (unsigned char)(data[i] ^ StreamByte(key, keyLength, i) ^ previous);
        previous = data[i];
    }
}

static void Unscramble(const char* key, unsigned char* data, size_t length) {
    size_t keyLength = strlen(key), i;
    unsigned char previous = (unsigned char)keyLength;
    for (i = 0; i < length; ++i) {
        unsigned char cipher = data[i];
        data[i] = (unsigned char)(cipher ^ StreamByte(key, keyLength, i) ^ previous);
        previous = cipher;
    }
}

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Encodes with this module's own key. The result belongs to the module and
 * is released with FreeResult. */
EXPORT char* Code(const char* text) {
    static const char kDigits[] = "0123456789abcdef";
    const char* key = FindKey(SAMPLE_ALGO_KEY_ID);
    size_t length, i;
    unsigned char* bytes;
    char* out;
    if (!text || !key) return NULL;
    length = strlen(text);
    if (length > ((size_t)-1 - 1) / 2) return NULL;
    bytes = (unsigned char*)malloc(length ? length : 1);
    out = (char*)malloc(length * 2 + 1);
    if (!bytes || !out) {
        free(bytes);
        free(out);
        return NULL;
    }
    memcpy(bytes, text, length);
    Scramble(key, bytes, length);
    for (i = 0; i < length; ++i) {
        out[2 * i] = kDigits[bytes[i] >> 4];
        out[2 * i + 1] = kDigits[bytes[i] & 0x0F];
    }
    out[2 * length] = '\0';
    free(bytes);
    return out;
}

EXPORT void FreeResult(char* result) { free(result); }

/* Decodes with the key that keyId names and hands the text to callback,
 * together with the key identifier as prefix. 1 on success; a decoded text
 * that would hold a NUL is refused, since the caller sees only up to it. */
EXPORT int Prepare(const char* keyId, const char* input, PrepareCallback callback, void* context) {
    const char* key = FindKey(keyId);
    size_t length, i;
    unsigned char* bytes;
    if (!input || !callback) return kPrepareBadArgs;
    if (!key) return kPrepareNoKey;
    length = strlen(input);
    if (length % 2 != 0) return kPrepareBadInput;
    bytes = (unsigned char*)malloc(length / 2 + 1);
    if (!bytes) return kPrepareNoMemory;
    for (i = 0; i < length / 2; ++i) {
        int high = HexValue(input[2 * i]);
        int low = HexValue(input[2 * i + 1]);
        if (high < 0 || low < 0) {
            free(bytes);
            return kPrepareBadInput;
        }
        bytes[i] = (unsigned char)(high << 4 | low);
    }
    Unscramble(key, bytes, length / 2);
    if (memchr(bytes, 0, length / 2)) {
        free(bytes);
        return kPrepareBadInput;
    }
    bytes[length / 2] = '\0';
    callback(keyId, (const char*)bytes, context);
    free(bytes);
    return kPrepareOk;
}
