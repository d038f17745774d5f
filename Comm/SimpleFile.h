// CSimpleFile: owner of one stdio stream, plus the directory helpers the
// programs share. Not thread-safe; CLog adds its own serialisation.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>

class CSimpleFile {
public:
    CSimpleFile() = default;
    CSimpleFile(const CSimpleFile&) = delete;
    CSimpleFile& operator=(const CSimpleFile&) = delete;
    virtual ~CSimpleFile();

    // 0, or -1 when the open fails. mode is fopen's ("r", "w", "a", each
    // with "+" and "b"); a new file gets mode 0600 and a symbolic link is
    // not followed. Any open stream is closed first.
    int CreateFile(const char* name, const char* mode);
    // 0 when nothing is open or the close succeeded, -1 otherwise.
    int CloseFile();
    // -2 without a stream; 0 when every byte was written and flushed; else -1.
    int WriteFile(const void* data, size_t length);
    bool IsOpen() const { return m_pFile != nullptr; }

    static bool IsFileExist(const char* name);
    // Creates every directory along path; with lastIsFile the last component
    // is left alone. Existing directories are fine.
    static bool RecuMkDir(const char* path, mode_t mode, bool lastIsFile);
    // The programs' own directory is the working directory.
    static bool GetModulePath(char* buffer, size_t size);

protected:
    FILE* m_pFile = nullptr;
};
