/* Test module whose Code crashes. */
#include "echo_prepare.h"

EXPORT char* Code(const char* text) {
    volatile char* nowhere = (volatile char*)0;
    *nowhere = text ? text[0] : 0;
    return 0;
}
