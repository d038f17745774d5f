#include "ZsoModule.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <lzma.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "UniqueFd.h"

// Kernels with a memfd exec policy need the request spelled out; older ones
// reject the flag, and then the plain call is the right one.
#ifndef MFD_EXEC
#define MFD_EXEC 0x0010U
#endif

namespace {

using Bytes = std::vector<unsigned char>;

constexpr size_t kKeyIdSize = 3;
constexpr size_t kPropsSize = 5;
constexpr size_t kFirstOutputSize = 256u << 10;

struct LzmaEnd {
    void operator()(lzma_stream* stream) const noexcept { lzma_end(stream); }
};

// The parts of a module file, before unpacking.
struct Parsed {
    std::string keyid;
    std::string key;
    std::string algoid;
    const unsigned char* props = nullptr;
    uint32_t unpackedSize = 0;
    const unsigned char* stream = nullptr;
    size_t streamSize = 0;
};

bool ReadFile(const char* path, Bytes& data) {
    CUniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (fd.Get() < 0 || fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size <= 0 || static_cast<unsigned long long>(info.st_size) > CZsoModule::kMaxFileSize) return false;
    data.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t got = read(fd.Get(), data.data() + done, data.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Every length is checked against what is left before it is used, so a
// header that runs past the end is refused before anything is allocated.
bool Parse(const unsigned char* data, size_t size, Parsed& out) {
    size_t pos = 0;
    auto take = [&](size_t count, std::string& into) {
        if (count > size - pos) return false;
        into.assign(reinterpret_cast<const char*>(data + pos), count);
        pos += count;
        return true;
    };
    auto takeText = [&](std::string& into) {
        if (pos >= size) return false;
        size_t length = data[pos++];
        return take(length, into);
    };
    if (!take(kKeyIdSize, out.keyid) || !takeText(out.key) || !takeText(out.algoid)) return false;
    if (kPropsSize + 4 > size - pos) return false;
    out.props = data + pos;
    pos += kPropsSize;
    const unsigned char* declared = data + pos;
    out.unpackedSize = static_cast<uint32_t>(declared[0]) | static_cast<uint32_t>(declared[1]) << 8 |
                       static_cast<uint32_t>(declared[2]) << 16 | static_cast<uint32_t>(declared[3]) << 24;
    pos += 4;
    out.stream = data + pos;
    out.streamSize = size - pos;
    return true;
}

// Undoes stored[i] = plain[i] ^ plain[i + 1], from the plain last byte back.
void UndoXorChain(unsigned char* data, size_t size) {
    if (size < 2) return;
    for (size_t i = size - 1; i-- > 0;) data[i] ^= data[i + 1];
}

// Raw LZMA into a buffer of the declared size: a stream that ends early
// without its end marker is an error, one that would give more is cut.
bool Decompress(const unsigned char* props, Bytes& stream, uint32_t unpackedSize, Bytes& image) {
    lzma_filter filter = {LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&filter, nullptr, props, kPropsSize) != LZMA_OK) return false;
    std::unique_ptr<lzma_options_lzma, decltype(&free)> options(static_cast<lzma_options_lzma*>(filter.options),
                                                                &free);
    // A window larger than the output is never needed; this keeps a forged
    // properties block from costing gigabytes.
    options->dict_size = std::min<uint32_t>(options->dict_size, std::max<uint32_t>(LZMA_DICT_SIZE_MIN, unpackedSize));
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1, options.get()}, {LZMA_VLI_UNKNOWN, nullptr}};

    lzma_stream coder = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&coder, filters) != LZMA_OK) return false;
    std::unique_ptr<lzma_stream, LzmaEnd> owner(&coder);
    coder.next_in = stream.data();
    coder.avail_in = stream.size();
    // The output grows with what the stream really gives, so a few bytes
    // declaring the largest size do not cost that much memory up front.
    image.resize(std::min<size_t>(unpackedSize, kFirstOutputSize));
    coder.next_out = image.data();
    coder.avail_out = image.size();
    for (;;) {
        lzma_ret ret = lzma_code(&coder, LZMA_RUN);
        if (ret == LZMA_STREAM_END) break;
        if (ret != LZMA_OK || coder.avail_out != 0) return false;
        if (image.size() == unpackedSize) break;
        image.resize(std::min<size_t>(unpackedSize, image.size() * 2));
        coder.next_out = image.data() + coder.total_out;
        coder.avail_out = image.size() - coder.total_out;
    }
    image.resize(coder.total_out);
    return !image.empty();
}

bool WriteAll(int fd, const Bytes& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t put = write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return true;
}

enum class LoadResult { kLoaded, kFailed, kUnavailable };

// The image never touches a path anyone else can write: the loader reads it
// back through this process's own descriptor. A refused load counts as
// unavailable too, since a kernel may forbid executing memory files.
LoadResult LoadFromMemFile(const Bytes& image, void*& handle) {
    CUniqueFd fd(memfd_create(CZsoModule::kTempName, MFD_CLOEXEC | MFD_EXEC));
    if (fd.Get() < 0 && errno == EINVAL) fd.Reset(memfd_create(CZsoModule::kTempName, MFD_CLOEXEC));
    if (fd.Get() < 0) return LoadResult::kUnavailable;
    if (!WriteAll(fd.Get(), image)) return LoadResult::kFailed;
    char path[64];
    snprintf(path, sizeof(path), "/proc/self/fd/%d", fd.Get());
    if (access(path, R_OK) != 0) return LoadResult::kUnavailable;
    handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return handle ? LoadResult::kLoaded : LoadResult::kUnavailable;
}

// The fallback: "protect.so" in the work directory, created afresh (never
// through a link standing in its place), owner-only from the start, and
// removed again as soon as the loader has mapped it.
LoadResult LoadFromTempFile(const Bytes& image, const char* workDir, void*& handle) {
    char directory[CZsoModule::kPathSize];
    if (workDir) {
        if (strlen(workDir) >= sizeof(directory)) return LoadResult::kFailed;
        strcpy(directory, workDir);
    } else if (!getcwd(directory, sizeof(directory))) {
        return LoadResult::kFailed;
    }
    std::string path = std::string(directory) + "/" + CZsoModule::kTempName;
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    CUniqueFd fd(open(path.c_str(), flags, 0700));
    if (fd.Get() < 0 && errno == EEXIST) {
        // A leftover, or a link planted in its place: unlink removes the
        // entry itself, never what a link points to.
        unlink(path.c_str());
        fd.Reset(open(path.c_str(), flags, 0700));
    }
    if (fd.Get() < 0) return LoadResult::kFailed;
    struct stat written;
    bool ok = fchmod(fd.Get(), 0700) == 0 && WriteAll(fd.Get(), image) && fstat(fd.Get(), &written) == 0;
    ok = fd.Close() == 0 && ok;
    if (ok) handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    // The loaded object was the file written here only if the entry is
    // still that file; anything else is refused.
    struct stat loaded;
    if (handle && (lstat(path.c_str(), &loaded) != 0 || loaded.st_dev != written.st_dev ||
                   loaded.st_ino != written.st_ino)) {
        dlclose(handle);
        handle = nullptr;
    }
    unlink(path.c_str());
    return handle ? LoadResult::kLoaded : LoadResult::kFailed;
}

}  // namespace

std::unique_ptr<CZsoModule> CZsoModule::Open(const char* path, const char* workDir, ELoad mode) {
    if (!path || !*path) return nullptr;
    Bytes file;
    Unpacked unpacked;
    if (!ReadFile(path, file) || !Unpack(file.data(), file.size(), unpacked)) return nullptr;

    void* handle = nullptr;
    LoadResult loaded = LoadResult::kUnavailable;
    if (mode == ELoad::kMemFile) loaded = LoadFromMemFile(unpacked.image, handle);
    if (loaded == LoadResult::kUnavailable) loaded = LoadFromTempFile(unpacked.image, workDir, handle);
    if (loaded != LoadResult::kLoaded) return nullptr;

    std::unique_ptr<CZsoModule> module(new CZsoModule());
    module->m_keyid = std::move(unpacked.keyid);
    module->m_key = std::move(unpacked.key);
    module->m_algoid = std::move(unpacked.algoid);
    module->m_size = static_cast<unsigned int>(unpacked.image.size());
    module->m_dh = handle;
    return module;
}

bool CZsoModule::Unpack(const unsigned char* data, size_t size, Unpacked& out) {
    Parsed parsed;
    if (!data || size > kMaxFileSize || !Parse(data, size, parsed)) return false;
    if (parsed.unpackedSize == 0 || parsed.unpackedSize > kMaxImageSize) return false;

    Bytes stream(parsed.stream, parsed.stream + parsed.streamSize);
    UndoXorChain(stream.data(), stream.size());
    if (!Decompress(parsed.props, stream, parsed.unpackedSize, out.image)) return false;
    out.keyid = std::move(parsed.keyid);
    out.key = std::move(parsed.key);
    out.algoid = std::move(parsed.algoid);
    return true;
}

CZsoModule::~CZsoModule() {
    if (m_dh) dlclose(m_dh);
}

void* CZsoModule::Symbol(const char* name) const {
    return m_dh && name ? dlsym(m_dh, name) : nullptr;
}
