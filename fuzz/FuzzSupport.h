// Shared pieces of the fuzz targets: cutting one input into several texts,
// and a scratch directory for the readers that take file names. Each target
// is one process running inputs one after another, so plain statics do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fuzz {

// The input cut at NUL bytes into at most count texts (the last keeps any
// further NULs as they are, so no byte is lost); missing parts are "".
inline std::vector<std::string> Split(const uint8_t* data, size_t size, size_t count) {
    std::vector<std::string> parts;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && parts.size() + 1 < count) {
            parts.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    parts.push_back(current);
    parts.resize(count);
    return parts;
}

// Text as a C string keeps only what comes before an inner NUL.
inline std::string CText(const std::string& text) { return std::string(text.c_str()); }

// A directory of this process's own, removed when the fuzzer exits normally.
inline const std::string& ScratchDir() {
    // The exit handler runs after the statics are gone: it keeps its own copy.
    static char removeAtExit[4096];
    static const std::string dir = [] {
        // Memory-backed when there is such a place: most targets write a file per input.
        std::error_code none;
        std::filesystem::path root = std::filesystem::is_directory("/dev/shm", none)
                                         ? "/dev/shm"
                                         : std::filesystem::temp_directory_path();
        std::string base = root / "velnor-fuzz-XXXXXX";
        if (!mkdtemp(base.data()) || base.size() >= sizeof(removeAtExit)) abort();
        base.copy(removeAtExit, base.size());
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removeAtExit, ignored);
        });
        return base;
    }();
    return dir;
}

inline std::string ScratchPath(const char* name) { return ScratchDir() + "/" + name; }

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) abort();
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A property the code must hold: a broken one ends the run like a crash, so
// libFuzzer keeps the input.
inline void Check(bool condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "property broken: %s\n", what);
        abort();
    }
}

}  // namespace fuzz
