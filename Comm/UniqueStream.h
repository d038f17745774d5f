// Owners of the C library's stream handles: CUniqueFile (fopen), CUniquePipe
// (popen) and CUniqueDir (opendir). Each closes its handle on destruction;
// move-only, one owner thread at a time. Where a command's exit status
// matters, CloseNow closes its pipe early and reports it. Descriptors have
// CUniqueFd.
#pragma once

#include <dirent.h>

#include <cstdio>
#include <memory>

struct CFileClose {
    void operator()(FILE* file) const noexcept { fclose(file); }
};
struct CPipeClose {
    void operator()(FILE* pipe) const noexcept { pclose(pipe); }
};
struct CDirClose {
    void operator()(DIR* dir) const noexcept { closedir(dir); }
};

using CUniqueFile = std::unique_ptr<FILE, CFileClose>;
using CUniquePipe = std::unique_ptr<FILE, CPipeClose>;
using CUniqueDir = std::unique_ptr<DIR, CDirClose>;

// The command's wait status, or -1 when it cannot be had or nothing is held.
inline int CloseNow(CUniquePipe& pipe) { return pipe ? pclose(pipe.release()) : -1; }
