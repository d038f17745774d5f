#include "ZsmHelper.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "Log.h"
#include "ModuleCall.h"
#include "ModuleHost.h"
#include "ModuleWire.h"
#include "UniqueFd.h"
#include "WholeFile.h"
#include "guard.h"

namespace {

using Guard = CWriteGuard<LockBase>;
using ModuleWire::EOp;
using ModuleWire::EStatus;
using ModuleWire::Reply;

char* NewFallback() {
    char* text = new char[50];
    strcpy(text, CZsmHelper::kFallback);
    return text;
}

char* NewCopy(const std::string& text) {
    char* copy = new char[text.size() + 1];
    memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
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

CZsmHelper::CZsmHelper(const char* pZsm, const char* pHost) : m_pHost(new CModuleHost(pHost ? pHost : "")) {
    memset(m_pDefaultZsm, 0, sizeof(m_pDefaultZsm));
    memset(m_pZsm, 0, sizeof(m_pZsm));
    CopyText(m_pAlgoId, sizeof(m_pAlgoId), kNoAlgoId);
    if (pZsm && !CopyText(m_pZsm, sizeof(m_pZsm), pZsm)) m_pZsm[0] = '\0';
}

CZsmHelper::~CZsmHelper() = default;

int CZsmHelper::Init(const char* pZsm, char* /*pData*/, unsigned long /*dwSize*/) {
    Guard guard(&m_zsmLock);
    // A cut path would name some other file; no module is the safe answer.
    if (!CopyText(m_pZsm, sizeof(m_pZsm), pZsm)) m_pZsm[0] = '\0';
    RemoveLeftovers();
    return 1;
}

// An update cut short by a crash or a power loss leaves its temporary file.
void CZsmHelper::RemoveLeftovers() const {
    if (*m_pZsm) CWholeFile::RemoveLeftovers(m_pZsm);
}

void CZsmHelper::Release() { Guard guard(&m_zsmLock); }

void CZsmHelper::SetCallTimeout(int ms) {
    Guard guard(&m_zsmLock);
    m_nTimeoutMs = ms;
}

bool CZsmHelper::Call(EOp op, const char* input, Reply& reply, const std::string* module) {
    ModuleWire::Request request;
    request.op = op;
    if (input) request.input = input;
    if (module) {
        request.module = *module;
    } else if (!CZsoModule::ReadFile(m_pZsm, request.module)) {
        return false;
    }
    if (CZsoModule::ReportUnsupportedCompression(request.module)) return false;
    return m_pHost->Call(request, reply, m_nTimeoutMs);
}

const char* CZsmHelper::GetAlgoId() {
    Guard guard(&m_zsmLock);
    Reply reply;
    if (!Call(EOp::kAlgoId, nullptr, reply) || reply.status != EStatus::kOk) return kNoAlgoId;
    // The identifier is text: it ends at a NUL and keeps at most 99 bytes.
    CopyText(m_pAlgoId, sizeof(m_pAlgoId), reply.text.substr(0, sizeof(m_pAlgoId) - 1).c_str());
    return m_pAlgoId;
}

char* CZsmHelper::Code(const char* pstrInput) {
    Guard guard(&m_zsmLock);
    Reply reply;
    if (!pstrInput || !Call(EOp::kCode, pstrInput, reply)) return NewFallback();
    switch (reply.status) {
        case EStatus::kOk:
            return NewCopy(reply.text);
        case EStatus::kNoExport:
            CLog::GetInst()->WriteLog(kLogAlways, "zsm code not find");
            break;
        case EStatus::kCallFailed:
            CLog::GetInst()->WriteLog(kLogAlways, "zsm code err");
            break;
        case EStatus::kNoModule:
            break;
    }
    return NewFallback();
}

char* CZsmHelper::DeCode(const char* pstrInput) {
    Guard guard(&m_zsmLock);
    Reply reply;
    if (!pstrInput || !Call(EOp::kDeCode, pstrInput, reply)) return nullptr;
    switch (reply.status) {
        case EStatus::kOk:
            return NewCopy(reply.text);
        case EStatus::kNoExport:
            CLog::GetInst()->WriteLog(kLogAlways, "zsm Prepare not find");
            break;
        case EStatus::kCallFailed:
            CLog::GetInst()->WriteLog(kLogAlways, "zsm Prepare err %d", reply.code);
            break;
        case EStatus::kNoModule:
            break;
    }
    return nullptr;
}

void CZsmHelper::FreeResult(const char* p) { delete[] p; }

void CZsmHelper::ZsmPPCB(const char* strPrefix, const char* strKey, void* data) {
    CModuleCall::PrepareCallback(strPrefix, strKey, data);
}

int CZsmHelper::Update(char* pData, unsigned long nLen) {
    if (!pData) return 0;
    Guard guard(&m_zsmLock);
    if (nLen > CZsoModule::kMaxFileSize) {
        CLog::GetInst()->WriteLog(kLogAlways, "Write File %s fail", m_pZsm);
        return -1;
    }
    // The new module proves itself before it touches the disk, so the one
    // that works survives whatever the new one does.
    const std::string bytes(pData, nLen);
    Reply trial;
    if (!Call(EOp::kTrial, nullptr, trial, &bytes) || trial.status != EStatus::kOk) {
        CLog::GetInst()->WriteLog(kLogAlways, "zsm module for %s unusable", m_pZsm);
        return -1;
    }
    // Written beside the module under a hidden name (so a kept copy such as
    // "<module>.backup" is never taken for a leftover) and renamed over it,
    // so a reader never sees half a file. Not CWholeFile::WriteAtomic: that
    // follows a link at the path, and these bytes come from the portal.
    std::string temp = CWholeFile::TemporaryTemplate(m_pZsm);
    CUniqueFd fd(*m_pZsm ? mkostemp(&temp[0], O_CLOEXEC) : -1);
    if (fd.Get() < 0) {
        CLog::GetInst()->WriteLog(kLogAlways, "Create File %s fail", m_pZsm);
        return -1;
    }
    auto fail = [&](const char* step) {
        CLog::GetInst()->WriteLog(kLogAlways, "%s File %s fail", step, m_pZsm);
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
    if (rename(temp.c_str(), m_pZsm) != 0) return fail("Write");
    return 1;
}
