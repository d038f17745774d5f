// CZsoModule: one algorithm module, read from its file, unpacked and loaded
// for the span of a single call, unloaded when the object dies. Not
// thread-safe on its own: CZsmHelper serialises every use, because a
// fallback load goes through the one fixed "protect.so" path.
// The object owns its texts and the dynamic-loader handle; no file it wrote
// outlives Open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CZsoModule {
public:
    // kMemFile loads from an anonymous memory file and falls back to the
    // temporary file where memory files or /proc are unavailable.
    enum class ELoad { kMemFile, kTempFile };

    static constexpr uint32_t kMaxImageSize = 64u << 20;
    static constexpr size_t kMaxFileSize = kMaxImageSize + (1u << 20);
    static constexpr size_t kPathSize = 1024;
    static constexpr const char* kTempName = "protect.so";

    // Null when the file is missing, malformed, larger than the caps, does
    // not decompress, or does not load. workDir is where the temporary
    // object goes (null: the current working directory).
    static std::unique_ptr<CZsoModule> Open(const char* path, const char* workDir, ELoad mode);

    // A module file's fields and its unpacked image, nothing loaded. False
    // when the bytes are malformed, over the caps or do not decompress.
    struct Unpacked {
        std::string keyid;
        std::string key;
        std::string algoid;
        std::vector<unsigned char> image;
    };
    static bool Unpack(const unsigned char* data, size_t size, Unpacked& out);

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
};
