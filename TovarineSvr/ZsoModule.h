// CZsoModule: one algorithm module, unpacked from the bytes of its file and
// loaded from an anonymous memory file for the span of a single call,
// unloaded when the object dies. Only VelnorAlgoHost loads modules; the
// service merely reads the file (ReadFile). Not thread-safe.
// The object owns its texts and the dynamic-loader handle; nothing is
// written to any directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ModuleFile.h"

class CZsoModule {
public:
    static constexpr size_t kMaxFileSize = CModuleFile::kMaxImageSize + (1u << 20);
    static constexpr const char* kTempName = "protect.so";

    // Reads a module file: only a regular file up to kMaxFileSize, opened
    // without blocking, so a FIFO or device at the path never stalls.
    static bool ReadFile(const char* path, std::string& data);
    // Logs and returns true when the file asks for LZMA settings that
    // cannot be decoded; the service checks this itself, as the helper that
    // unpacks the module keeps no log.
    static bool ReportUnsupportedCompression(const std::string& file);
    // Null when the bytes are malformed, larger than the caps, do not
    // decompress, or do not load.
    static std::unique_ptr<CZsoModule> Open(const std::string& file);

    // Unloads; false when the object stayed mapped (linked "nodelete" or
    // holding unique symbols), so a later load by the same name could be
    // handed this image again.
    bool Unload();
    ~CZsoModule();
    CZsoModule(const CZsoModule&) = delete;
    CZsoModule& operator=(const CZsoModule&) = delete;

    // The export's address, or null when the module lacks it.
    void* Symbol(const char* name) const;

    const std::string& KeyId() const { return m_keyid; }
    const std::string& Key() const { return m_key; }
    const std::string& AlgoId() const { return m_algoid; }
    unsigned int Size() const { return m_size; }

private:
    CZsoModule() = default;

    std::string m_keyid;
    std::string m_key;
    std::string m_algoid;
    unsigned int m_size = 0;
    void* m_dh = nullptr;
    std::string m_path;
};
