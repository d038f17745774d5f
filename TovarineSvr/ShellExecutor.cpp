#include "ShellExecutor.h"

#include <cstdio>

#include "UniqueStream.h"

int CShellExecutor::ExecuteShellScript(const char* pszCommand, const char* pszMode) {
    if (!pszCommand || !*pszCommand || !pszMode || pszMode[0] != 'r') return 0;
    // pclose's result matters, so the stream is closed by hand on the normal
    // path; the owner covers a callback that throws.
    CUniquePipe pipe(popen(pszCommand, pszMode));
    if (!pipe) return 0;
    char line[kLinePiece];
    while (fgets(line, sizeof(line), pipe.get())) Deliver(line);
    return CloseNow(pipe) == -1 ? 0 : 1;
}

int CShellExecutor::ReadFileLines(const char* pszPath) {
    if (!pszPath || !*pszPath) return 0;
    CUniqueFile file(fopen(pszPath, "re"));
    if (!file) return 0;
    char line[kLinePiece];
    while (fgets(line, sizeof(line), file.get())) Deliver(line);
    return ferror(file.get()) ? 0 : 1;
}
