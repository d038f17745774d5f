/* Test module linked "nodelete", so the loader can never unload it. Built
 * twice with a different NODELETE_NAME: Code prefixes the text with that
 * name and a colon, Prepare takes it off again. */
#include <stdio.h>
#include <string.h>

#define EXPORT __attribute__((visibility("default")))

typedef void (*PrepareCallback)(const char* prefix, const char* text, void* context);

EXPORT char* Code(const char* text) {
    static char result[4096];
    if (!text) return 0;
    snprintf(result, sizeof(result), "%s:%s", NODELETE_NAME, text);
    return result;
}

EXPORT int Prepare(const char* keyId, const char* input, PrepareCallback callback, void* context) {
    size_t length = strlen(NODELETE_NAME);
    if (!input || !callback || strncmp(input, NODELETE_NAME, length) != 0 || input[length] != ':') return -1;
    callback(keyId, input + length + 1, context);
    return 1;
}
