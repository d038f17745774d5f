// CFileDnsBackupStore: keeps the DNS backup text in a file of its own,
// replaced atomically on every save. Same threading as IDnsBackupStore.
#pragma once

#include "AutoString.h"
#include "DnsBackupStore.h"

class CFileDnsBackupStore : public IDnsBackupStore {
public:
    // The file and its folder are created on the first save.
    explicit CFileDnsBackupStore(const char* path);

    CAutoString Load() override;
    bool Save(const char* text) override;
    bool Clear() override;

    // A backup is a few lines of resolver text; anything bigger is not ours.
    static constexpr size_t kMaxSize = size_t(1) << 20;

private:
    CAutoString m_strPath;
};
