/* Test module that aborts while it is being loaded. */
#include <stdlib.h>

#include "echo_prepare.h"

__attribute__((constructor)) static void AbortOnLoad(void) { abort(); }

EXPORT char* Code(const char* text) { return (char*)text; }
