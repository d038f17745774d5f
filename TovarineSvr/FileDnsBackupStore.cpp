#include "FileDnsBackupStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "SimpleFile.h"
#include "UniqueFd.h"

CFileDnsBackupStore::CFileDnsBackupStore(const char* path) : m_strPath(path ? path : "") {}

CAutoString CFileDnsBackupStore::Load() {
    CAutoString text;
    text.Empty();
    CUniqueFd fd(open(m_strPath.GetBuffer(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return text;
    std::string content;
    char chunk[4096];
    for (;;) {
        ssize_t got = read(fd.Get(), chunk, sizeof(chunk));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return text;
        if (got == 0) break;
        content.append(chunk, static_cast<size_t>(got));
        if (static_cast<long>(content.size()) > kMaxSize) return text;
    }
    text = content.c_str();
    return text;
}

bool CFileDnsBackupStore::Save(const char* text) {
    if (m_strPath.IsEmpty() || !text) return false;
    CSimpleFile::RecuMkDir(m_strPath.GetBuffer(), 0700, true);
    std::string temporary = std::string(m_strPath.GetBuffer()) + ".tmp";
    CUniqueFd fd(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (fd.Get() < 0) return false;
    size_t length = strlen(text);
    size_t done = 0;
    while (done < length) {
        ssize_t put = write(fd.Get(), text + done, length - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
    }
    bool written = done == length && fsync(fd.Get()) == 0;
    if (close(fd.Release()) != 0) written = false;
    if (!written || rename(temporary.c_str(), m_strPath.GetBuffer()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool CFileDnsBackupStore::Clear() {
    return m_strPath.IsEmpty() || unlink(m_strPath.GetBuffer()) == 0 || errno == ENOENT;
}
