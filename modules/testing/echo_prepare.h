/* A Prepare that hands its input back unchanged, for test modules whose
 * fault lies elsewhere. */
#ifndef VELNOR_ECHO_PREPARE_H
#define VELNOR_ECHO_PREPARE_H

#define EXPORT __attribute__((visibility("default")))

typedef void (*PrepareCallback)(const char* prefix, const char* text, void* context);

EXPORT int Prepare(const char* keyId, const char* input, PrepareCallback callback, void* context) {
    if (!input || !callback) return -1;
    callback(keyId, input, context);
    return 1;
}

#endif
