// CZsmHelper: encodes portal request bodies and decodes answers through the
// algorithm module file, and installs a new module file when the portal
// sends one. Module code never runs in this process: each GetAlgoId, Code
// and DeCode reads the file and hands its bytes to VelnorAlgoHost
// (CModuleHost), which loads the module afresh, calls it and unloads it.
// A module that crashes, hangs past the time limit or breaks the helper's
// rules counts as no module for that call.
// Any thread may call; m_zsmLock makes calls run one at a time.
// Results of Code and DeCode belong to the caller, released by FreeResult.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ptlock.h"

class CModuleHost;
namespace ModuleWire {
struct Reply;
enum class EOp : uint8_t;
}  // namespace ModuleWire

class CZsmHelper {
public:
    static constexpr const char* kDefaultModule = "zxmAlogic.zxm";
    static constexpr const char* kNoAlgoId = "00000000-0000-0000-0000-000000000000";
    static constexpr const char* kFallback = "tarce log algo auto compstr null value";
    static constexpr int kCallTimeoutMs = 5000;

    // The process-wide helper, reading kDefaultModule in the working directory.
    static CZsmHelper* GetInst();

    // pHost is the helper program (null: VelnorAlgoHost beside the
    // running executable).
    explicit CZsmHelper(const char* pZsm = kDefaultModule, const char* pHost = nullptr);
    ~CZsmHelper();
    CZsmHelper(const CZsmHelper&) = delete;
    CZsmHelper& operator=(const CZsmHelper&) = delete;

    // Sets the module path (a path of 1024 bytes or more gives no module)
    // and removes temporary files an interrupted Update left beside it;
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
    // when the file cannot be written or the module fails its trial (a
    // Code and DeCode round trip within the time limit); the previous
    // module then stays in place.
    int Update(char* pData, unsigned long nLen);

    // The callback handed to the module's "Prepare".
    static void ZsmPPCB(const char* strPrefix, const char* strKey, void* data);

    // The limit on one module call, after which the helper is killed.
    void SetCallTimeout(int ms);

private:
    // Runs op on the module file at m_pZsm (or on module when given); false
    // when there is no file or the helper failed. Caller holds m_zsmLock.
    bool Call(ModuleWire::EOp op, const char* input, ModuleWire::Reply& reply,
              const std::string* module = nullptr);
    void RemoveLeftovers() const;

    char m_pDefaultZsm[1024];
    char m_pZsm[1024];
    char m_pAlgoId[100];
    static CZsmHelper* m_pHelper;
    RWLock m_zsmLock;
    std::unique_ptr<CModuleHost> m_pHost;
    int m_nTimeoutMs = kCallTimeoutMs;
};
