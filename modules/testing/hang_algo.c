/* Test module whose Code never returns: it waits on a futex nobody wakes,
 * which costs no processor time. */
#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "echo_prepare.h"

EXPORT char* Code(const char* text) {
    static int never = 0;
    for (;;) syscall(SYS_futex, &never, FUTEX_WAIT, 0, 0, 0, 0);
    return (char*)text;
}
