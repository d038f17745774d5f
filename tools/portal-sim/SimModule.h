// CSimModule: one algorithm module shared object, loaded with the dynamic
// loader. The portal side of the codec: requests are decoded with "Prepare",
// answers encoded with "Code" (releasing the result with "FreeResult" when
// the module has it). Calls are serialised per module, since a module need
// not be reentrant. Owns its loader handle.
#pragma once

#include <memory>
#include <mutex>
#include <string>

class CSimModule {
public:
    static std::unique_ptr<CSimModule> Load(const std::string& path, std::string* error);
    ~CSimModule();
    CSimModule(const CSimModule&) = delete;
    CSimModule& operator=(const CSimModule&) = delete;

    bool Encode(const std::string& text, std::string& encoded);
    bool Decode(const std::string& keyId, const std::string& encoded, std::string& text);
    const std::string& Path() const { return m_path; }

    // Reads the key identifier and the algorithm identifier from the head
    // of a packed module file; false when the file is shorter than its head.
    static bool ReadModuleFileIds(const std::string& path, std::string& keyId, std::string& algoId);

private:
    using CodeFn = char* (*)(const char*);
    using FreeFn = void (*)(char*);
    using PrepareCb = void (*)(const char*, const char*, void*);
    using PrepareFn = int (*)(const char*, const char*, PrepareCb, void*);

    CSimModule(void* handle, std::string path);

    void* m_handle;
    std::string m_path;
    CodeFn m_code = nullptr;
    FreeFn m_free = nullptr;
    PrepareFn m_prepare = nullptr;
    std::mutex m_lock;
};
