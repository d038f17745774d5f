#include "SimpleFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

CSimpleFile::~CSimpleFile() { CloseFile(); }

int CSimpleFile::CreateFile(const char* name, const char* mode) {
    CloseFile();
    if (!name || !mode) return -1;
    int flags = 0;
    switch (mode[0]) {
        case 'r':
            break;
        case 'w':
            flags = O_CREAT | O_TRUNC;
            break;
        case 'a':
            flags = O_CREAT | O_APPEND;
            break;
        default:
            return -1;
    }
    if (strchr(mode, '+'))
        flags |= O_RDWR;
    else if (mode[0] != 'r')
        flags |= O_WRONLY;
    // The log holds the account and tickets, downloads may be packages to
    // install: new files are private, a link in their place is refused, and
    // no program the process starts inherits the stream.
    int fd;
    do {
        fd = open(name, flags | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    m_pFile = fdopen(fd, mode);
    if (!m_pFile) {
        close(fd);
        return -1;
    }
    return 0;
}

int CSimpleFile::CloseFile() {
    if (!m_pFile) return 0;
    FILE* file = m_pFile;
    m_pFile = nullptr;
    return fclose(file) == 0 ? 0 : -1;
}

int CSimpleFile::WriteFile(const void* data, size_t length) {
    if (!m_pFile) return -2;
    size_t written = length ? fwrite(data, 1, length, m_pFile) : 0;
    if (fflush(m_pFile) != 0) return -1;
    return written == length ? 0 : -1;
}

bool CSimpleFile::IsFileExist(const char* name) { return name && access(name, F_OK) == 0; }

bool CSimpleFile::RecuMkDir(const char* path, mode_t mode, bool lastIsFile) {
    if (!path || !*path) return false;
    std::string text(path);
    for (size_t slash = text.find('/', 1); slash != std::string::npos; slash = text.find('/', slash + 1)) {
        std::string prefix = text.substr(0, slash);
        if (mkdir(prefix.c_str(), mode) != 0 && errno != EEXIST) return false;
    }
    if (lastIsFile || text.back() == '/') return true;
    return mkdir(text.c_str(), mode) == 0 || errno == EEXIST;
}

bool CSimpleFile::GetModulePath(char* buffer, size_t size) {
    if (buffer && size) {
        if (!getcwd(buffer, size)) buffer[0] = '\0';
    }
    return true;
}
