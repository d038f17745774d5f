/* Test module that tries what a module must not: Code with "file:PATH"
 * creates PATH, with anything else it opens a network socket. It answers
 * "escaped" when that worked and fails when it was refused. */
#include <fcntl.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "echo_prepare.h"

EXPORT char* Code(const char* text) {
    static char escaped[] = "escaped";
    int fd;
    if (!text) return 0;
    if (strncmp(text, "file:", 5) == 0)
        fd = open(text + 5, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    else
        fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return 0;
    close(fd);
    return escaped;
}
