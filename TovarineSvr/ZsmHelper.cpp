#include "ZsmHelper.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

#include "Log.h"
#include "ZsoModule.h"
#include "guard.h"
#include "UniqueFd.h"

namespace {

using Guard = CLockGuard<LockBase*, GWrite<LockBase*>>;
using CodeFn = char* (*)(const char*);
using FreeFn = void (*)(char*);
using PrepareCb = void (*)(const char*, const char*, void*);
using PrepareFn = int (*)(const char*, const char*, PrepareCb, void*);

// What ZsmPPCB fills in. capacity is the buffer's real size and stays
// fixed: a module that calls back more than once can never make the
// callback copy past it, whatever sizes it reported before.
struct PrepareContext {
    int status = 0;
    unsigned int size = 0;
    char* buffer = nullptr;
    unsigned int capacity = 0;
    int calls = 0;
};

char* NewFallback() {
    char* text = new char[50];
    strcpy(text, CZsmHelper::kFallback);
    return text;
}

// Copies text into an array of n bytes; false (and nothing copied) when
// it does not fit with its NUL.
bool CopyText(char* array, size_t n, const char* text) {
    size_t length = text ? strlen(text) : 0;
    if (length >= n) return false;
    memcpy(array, text ? text : "", length + 1);
    return true;
}

}  // namespace

CZsmHelper* CZsmHelper::m_pHelper = nullptr;

CZsmHelper* CZsmHelper::GetInst() {
    static CZsmHelper* instance = (m_pHelper = new CZsmHelper());
    return instance;
}

CZsmHelper::CZsmHelper(const char* pZsm, const char* pWorkDir) {
    memset(m_pDefaultZsm, 0, sizeof(m_pDefaultZsm));
    memset(m_pZsm, 0, sizeof(m_pZsm));
    memset(m_pWorkDir, 0, sizeof(m_pWorkDir));
    CopyText(m_pAlgoId, sizeof(m_pAlgoId), kNoAlgoId);
    if (pZsm && !CopyText(m_pZsm, sizeof(m_pZsm), pZsm)) m_pZsm[0] = '\0';
    if (pWorkDir && !CopyText(m_pWorkDir, sizeof(m_pWorkDir), pWorkDir)) m_pWorkDir[0] = '\0';
}

int CZsmHelper::Init(const char* pZsm, char* /*pData*/, unsigned long /*dwSize*/) {
    Guard guard(&m_zsmLock);
    // A cut path would name some other file; no module is the safe answer.
    if (!CopyText(m_pZsm, sizeof(m_pZsm), pZsm)) m_pZsm[0] = '\0';
    return 1;
}

std::unique_ptr<CZsoModule> CZsmHelper::OpenModule(const char* path) const {
    return CZsoModule::Open(path, *m_pWorkDir ? m_pWorkDir : nullptr,
                            m_bMemFile ? CZsoModule::ELoad::kMemFile : CZsoModule::ELoad::kTempFile);
}

void CZsmHelper::Release() {
    Guard guard(&m_zsmLock);
}

void CZsmHelper::SetUseMemFile(bool bUse) {
    Guard guard(&m_zsmLock);
    m_bMemFile = bUse;
}

const char* CZsmHelper::GetAlgoId() {
    Guard guard(&m_zsmLock);
    std::unique_ptr<CZsoModule> module = OpenModule(m_pZsm);
    if (!module) return kNoAlgoId;
    // The identifier is text: it ends at a NUL and keeps at most 99 bytes.
    const std::string& id = module->AlgoId();
    size_t length = strnlen(id.c_str(), std::min(id.size(), sizeof(m_pAlgoId) - 1));
    memcpy(m_pAlgoId, id.data(), length);
    m_pAlgoId[length] = '\0';
    return m_pAlgoId;
}

char* CZsmHelper::Code(const char* pstrInput) {
    Guard guard(&m_zsmLock);
    if (!pstrInput) return NewFallback();
    std::unique_ptr<CZsoModule> module = OpenModule(m_pZsm);
    if (!module) return NewFallback();
    auto code = reinterpret_cast<CodeFn>(module->Symbol("Code"));
    if (!code) {
        CLog::GetInst()->WriteLog(0, "zsm code not find");
        return NewFallback();
    }
    char* result = code(pstrInput);
    if (!result) {
        CLog::GetInst()->WriteLog(0, "zsm code err");
        return NewFallback();
    }
    size_t length = strlen(result);
    char* copy = new char[length + 1];
    memcpy(copy, result, length + 1);
    if (auto release = reinterpret_cast<FreeFn>(module->Symbol("FreeResult"))) release(result);
    return copy;
}

char* CZsmHelper::DeCode(const char* pstrInput) {
    Guard guard(&m_zsmLock);
    if (!pstrInput) return nullptr;
    std::unique_ptr<CZsoModule> module = OpenModule(m_pZsm);
    if (!module) return nullptr;
    auto prepare = reinterpret_cast<PrepareFn>(module->Symbol("Prepare"));
    if (!prepare) {
        CLog::GetInst()->WriteLog(0, "zsm Prepare not find");
        return nullptr;
    }
    const char* keyid = module->KeyId().c_str();

    // First pass only measures: the callback reports the decoded size.
    PrepareContext measure;
    int result = prepare(keyid, pstrInput, ZsmPPCB, &measure);
    if (result != 1) {
        CLog::GetInst()->WriteLog(0, "zsm Prepare err %d", result);
        return nullptr;
    }
    if (measure.calls == 0 || measure.size == 0 || measure.size > kMaxDecoded) {
        CLog::GetInst()->WriteLog(0, "zsm Prepare err %d", -1);
        return nullptr;
    }

    std::unique_ptr<char[]> buffer(new char[measure.size]());
    PrepareContext fill;
    fill.size = measure.size;
    fill.capacity = measure.size;
    fill.buffer = buffer.get();
    result = prepare(keyid, pstrInput, ZsmPPCB, &fill);
    if (result != 1 || fill.status != 0 || fill.calls == 0) {
        CLog::GetInst()->WriteLog(0, "zsm Prepare err %d", result != 1 ? result : -1);
        return nullptr;
    }
    buffer[measure.size - 1] = '\0';
    return buffer.release();
}

void CZsmHelper::FreeResult(const char* p) {
    delete[] p;
}

void CZsmHelper::ZsmPPCB(const char* /*strPrefix*/, const char* strKey, void* data) {
    auto* context = static_cast<PrepareContext*>(data);
    if (!context) return;
    ++context->calls;
    size_t length = strKey ? strlen(strKey) : 0;
    if (!strKey || length >= UINT_MAX) {
        context->status = -1;
        return;
    }
    if (context->buffer && length + 1 <= context->capacity) {
        memcpy(context->buffer, strKey, length + 1);
    } else {
        context->status = -1;
    }
    context->size = static_cast<unsigned int>(length + 1);
}

int CZsmHelper::Update(char* pData, unsigned long nLen) {
    if (!pData) return 0;
    Guard guard(&m_zsmLock);
    if (nLen > CZsoModule::kMaxFileSize) {
        CLog::GetInst()->WriteLog(0, "Write File %s fail", m_pZsm);
        return -1;
    }
    // Written beside the module and renamed over it only once it proves
    // usable, so the module that works survives any failure here.
    std::string temp = std::string(m_pZsm) + ".XXXXXX";
    CUniqueFd fd(*m_pZsm ? mkostemp(&temp[0], O_CLOEXEC) : -1);
    if (fd.Get() < 0) {
        CLog::GetInst()->WriteLog(0, "Create File %s fail", m_pZsm);
        return -1;
    }
    auto fail = [&](const char* step) {
        if (step) CLog::GetInst()->WriteLog(0, "%s File %s fail", step, m_pZsm);
        fd.Close();
        unlink(temp.c_str());
        return -1;
    };
    unsigned long done = 0;
    while (done < nLen) {
        ssize_t put = write(fd.Get(), pData + done, nLen - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return fail("Write");
        done += static_cast<unsigned long>(put);
    }
    if (fsync(fd.Get()) != 0 || fd.Close() != 0) return fail("Close");

    {
        std::unique_ptr<CZsoModule> module = OpenModule(temp.c_str());
        if (!module || !module->Symbol("Code") || !module->Symbol("Prepare")) {
            CLog::GetInst()->WriteLog(0, "zsm module for %s unusable", m_pZsm);
            return fail(nullptr);
        }
    }
    if (rename(temp.c_str(), m_pZsm) != 0) return fail("Write");
    return 1;
}
