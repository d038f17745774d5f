/* Test module that exports Code and nothing else. */
#define EXPORT __attribute__((visibility("default")))

EXPORT char* Code(const char* text) {
    static char result[] = "codeonly";
    return text ? result : 0;
}
