// CZsmHelper: encodes portal request bodies and decodes answers through the
// algorithm module file, and installs a new module file when the portal
// sends one. Nothing is cached: each GetAlgoId, Code and DeCode reads,
// unpacks, loads and unloads the module afresh (CZsoModule).
// Any thread may call; m_zsmLock makes calls run one at a time.
// Results of Code and DeCode belong to the caller, released by FreeResult.
#pragma once

#include <memory>

#include "ptlock.h"

class CZsoModule;

class CZsmHelper {
public:
    static constexpr const char* kDefaultModule = "zxmAlogic.zxm";
    static constexpr const char* kNoAlgoId = "00000000-0000-0000-0000-000000000000";
    static constexpr const char* kFallback = "tarce log algo auto compstr null value";
    static constexpr unsigned int kMaxDecoded = 64u << 20;

    // The process-wide helper, reading kDefaultModule in the working directory.
    static CZsmHelper* GetInst();

    // pWorkDir is where a fallback load writes its temporary object (null:
    // the working directory at the time of the call).
    explicit CZsmHelper(const char* pZsm = kDefaultModule, const char* pWorkDir = nullptr);
    CZsmHelper(const CZsmHelper&) = delete;
    CZsmHelper& operator=(const CZsmHelper&) = delete;

    // Sets the module path (a path of 1024 bytes or more gives no module);
    // pData and dwSize are unused. Returns 1.
    int Init(const char* pZsm, char* pData, unsigned long dwSize);
    void Release();

    // The identifier of the module on disk, or kNoAlgoId without a usable
    // module. The text stays valid until the next call.
    const char* GetAlgoId();
    // Never null: without a module, or when it fails, the kFallback text.
    char* Code(const char* pstrInput);
    // Null on any failure; otherwise a NUL-terminated text.
    char* DeCode(const char* pstrInput);
    void FreeResult(const char* p);
    // Installs nLen bytes as the module file: 1 done, 0 for null data, -1
    // when the file cannot be written or the data is not a usable module
    // (the previous module then stays in place).
    int Update(char* pData, unsigned long nLen);

    // The callback handed to the module's "Prepare".
    static void ZsmPPCB(const char* strPrefix, const char* strKey, void* data);

    // Loads through the temporary "protect.so" instead of a memory file.
    void SetUseMemFile(bool bUse);

private:
    // Caller holds m_zsmLock.
    std::unique_ptr<CZsoModule> OpenModule(const char* path) const;

    char m_pDefaultZsm[1024];
    char m_pZsm[1024];
    char m_pAlgoId[100];
    static CZsmHelper* m_pHelper;
    RWLock m_zsmLock;
    char m_pWorkDir[1024];
    bool m_bMemFile = true;
};
