// CWholeFile: reads and writes files in one piece. Writing goes through a
// temporary file in the same directory that is synced and renamed into place,
// so a crash or a full disk leaves either the old or the new file, never a
// truncated one. Stateless; any thread.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

class CWholeFile {
public:
    // 0; -1 cannot open or read; -2 not a regular file; -3 longer than maxBytes.
    static int Read(const char* fileName, size_t maxBytes, std::string& data);
    // 0; -1 the temporary file cannot be created; -2 writing or syncing it
    // failed; -3 the rename failed. The temporary file never stays behind.
    // An existing file keeps its mode and owner, a new one gets newFileMode;
    // a symbolic link is followed.
    static int WriteAtomic(const char* fileName, const void* data, size_t length, mode_t newFileMode = 0644);
    // Removes temporary files WriteAtomic left for fileName when its process
    // was killed half-way; the number removed. Only while no one else writes
    // the file.
    static int RemoveLeftovers(const char* fileName);
    // The mkostemp template of a temporary file for path, hidden beside it:
    // "<dir>/.<name>.XXXXXX". Writers that replace a file their own way use
    // it too, so RemoveLeftovers knows their leftovers.
    static std::string TemporaryTemplate(const std::string& path);
};
