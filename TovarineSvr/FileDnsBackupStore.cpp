#include "FileDnsBackupStore.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "SimpleFile.h"
#include "WholeFile.h"

CFileDnsBackupStore::CFileDnsBackupStore(const char* path) : m_strPath(path ? path : "") {}

CAutoString CFileDnsBackupStore::Load() {
    CAutoString text;
    text.Empty();
    std::string content;
    if (CWholeFile::Read(m_strPath.GetBuffer(), kMaxSize, content) == 0) text = content.c_str();
    return text;
}

bool CFileDnsBackupStore::Save(const char* text) {
    if (m_strPath.IsEmpty() || !text) return false;
    CSimpleFile::RecuMkDir(m_strPath.GetBuffer(), 0700, true);
    return CWholeFile::WriteAtomic(m_strPath.GetBuffer(), text, strlen(text), 0600) == 0;
}

bool CFileDnsBackupStore::Clear() {
    return m_strPath.IsEmpty() || unlink(m_strPath.GetBuffer()) == 0 || errno == ENOENT;
}
