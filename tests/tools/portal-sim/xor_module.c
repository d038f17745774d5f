/* A stand-in algorithm module for the simulator's tests: XOR with one key
 * byte, written as hex so the result stays a NUL-terminated text. It keeps
 * the module contract: "Code" returns a malloc'd text released by
 * "FreeResult"; "Prepare" hands the decoded text to the callback. */
#include <stdlib.h>
#include <string.h>

#define XOR_KEY 0x5A

typedef void (*PrepareCallback)(const char* prefix, const char* text, void* context);

__attribute__((visibility("default"))) char* Code(const char* input) {
    static const char digits[] = "0123456789abcdef";
    size_t n = strlen(input);
    char* out = malloc(n * 2 + 1);
    if (!out) return NULL;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = (unsigned char)input[i] ^ XOR_KEY;
        out[2 * i] = digits[c >> 4];
        out[2 * i + 1] = digits[c & 15];
    }
    out[2 * n] = '\0';
    return out;
}

__attribute__((visibility("default"))) void FreeResult(char* result) { free(result); }

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

__attribute__((visibility("default"))) int Prepare(const char* keyId, const char* input,
                                                   PrepareCallback callback, void* context) {
    (void)keyId;
    size_t n = strlen(input);
    if (n % 2 != 0) return -1;
    char* text = malloc(n / 2 + 1);
    if (!text) return -1;
    for (size_t i = 0; i < n / 2; ++i) {
        int hi = HexValue(input[2 * i]);
        int lo = HexValue(input[2 * i + 1]);
        if (hi < 0 || lo < 0) {
            free(text);
            return -2;
        }
        text[i] = (char)((hi << 4 | lo) ^ XOR_KEY);
    }
    text[n / 2] = '\0';
    callback("", text, context);
    free(text);
    return 1;
}
