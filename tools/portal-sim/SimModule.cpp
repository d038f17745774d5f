#include "SimModule.h"

#include <dlfcn.h>

#include <fstream>
#include <iterator>
#include <vector>

std::unique_ptr<CSimModule> CSimModule::Load(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) *error = dlerror();
        return nullptr;
    }
    std::unique_ptr<CSimModule> module(new CSimModule(handle, path));
    module->m_code = reinterpret_cast<CodeFn>(dlsym(handle, "Code"));
    module->m_free = reinterpret_cast<FreeFn>(dlsym(handle, "FreeResult"));
    module->m_prepare = reinterpret_cast<PrepareFn>(dlsym(handle, "Prepare"));
    if (!module->m_code || !module->m_prepare) {
        if (error) *error = path + ": \"Code\" or \"Prepare\" is not exported";
        return nullptr;
    }
    return module;
}

CSimModule::CSimModule(void* handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}

CSimModule::~CSimModule() { dlclose(m_handle); }

bool CSimModule::Encode(const std::string& text, std::string& encoded) {
    std::lock_guard<std::mutex> guard(m_lock);
    char* result = m_code(text.c_str());
    if (!result) return false;
    encoded = result;
    if (m_free) m_free(result);
    return true;
}

namespace {
void CollectDecoded(const char* /*prefix*/, const char* text, void* data) {
    if (text) *static_cast<std::string*>(data) = text;
}
}  // namespace

bool CSimModule::Decode(const std::string& keyId, const std::string& encoded, std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::string out;
    if (m_prepare(keyId.c_str(), encoded.c_str(), CollectDecoded, &out) != 1) return false;
    text = out;
    return true;
}

bool CSimModule::ReadModuleFileIds(const std::string& path, std::string& keyId, std::string& algoId) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<unsigned char> head;
    // The head is at most 3 + 1 + 255 + 1 + 255 bytes.
    head.resize(515);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    size_t got = static_cast<size_t>(in.gcount());
    if (got < 4) return false;
    size_t keyLen = head[3];
    if (got < 5 + keyLen) return false;
    size_t algoLen = head[4 + keyLen];
    if (got < 5 + keyLen + algoLen) return false;
    keyId.assign(reinterpret_cast<const char*>(head.data()), 3);
    algoId.assign(reinterpret_cast<const char*>(head.data()) + 5 + keyLen, algoLen);
    return true;
}
