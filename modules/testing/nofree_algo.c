/* Test module without FreeResult: Code answers from a static buffer, and
 * Prepare misbehaves on request so the loader's guards can be checked.
 * Its statics start afresh with every load. */
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef void (*PrepareCallback)(const char* prefix, const char* text, void* context);

static char g_result[256];
static int g_prepareCalls;

EXPORT char* Code(const char* text) {
    if (!text || strcmp(text, "null") == 0) return NULL;
    snprintf(g_result, sizeof(g_result), "nofree:%s", text);
    return g_result;
}

/* Inputs: "fail" returns 0; "silent" succeeds without calling back; "null"
 * calls back with no text; "grow" delivers a longer text on the second call
 * than on the first; "twice" calls back twice per pass, longer text first;
 * anything else is echoed. */
EXPORT int Prepare(const char* keyId, const char* input, PrepareCallback callback, void* context) {
    ++g_prepareCalls;
    if (!input || !callback) return -1;
    if (strcmp(input, "fail") == 0) return 0;
    if (strcmp(input, "silent") == 0) return 1;
    if (strcmp(input, "null") == 0) {
        callback(keyId, NULL, context);
        return 1;
    }
    if (strcmp(input, "grow") == 0) {
        callback(keyId, g_prepareCalls == 1 ? "ab" : "abcdefghijklmnop", context);
        return 1;
    }
    if (strcmp(input, "twice") == 0) {
        callback(keyId, "abcdefghijklmnopqrstuvwxyz", context);
        callback(keyId, "abcdefghijklmnopqrstuvwxy", context);
        return 1;
    }
    callback(keyId, input, context);
    return 1;
}
