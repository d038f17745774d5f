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

#include "Log.h"
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

// Every length is checked against what is left before it is used, so a
// header that runs past the end is refused before anything is allocated.
bool Parse(const std::string& file, Parsed& out) {
    const auto* data = reinterpret_cast<const unsigned char*>(file.data());
    const size_t total = file.size();
    size_t pos = 0;
    auto take = [&](size_t count, std::string& into) {
        if (count > total - pos) return false;
        into.assign(file, pos, count);
        pos += count;
        return true;
    };
    auto takeText = [&](std::string& into) {
        if (pos >= total) return false;
        size_t length = data[pos++];
        return take(length, into);
    };
    if (!take(kKeyIdSize, out.keyid) || !takeText(out.key) || !takeText(out.algoid)) return false;
    if (kPropsSize + 4 > total - pos) return false;
    out.props = data + pos;
    pos += kPropsSize;
    const unsigned char* size = data + pos;
    out.unpackedSize = static_cast<uint32_t>(size[0]) | static_cast<uint32_t>(size[1]) << 8 |
                       static_cast<uint32_t>(size[2]) << 16 | static_cast<uint32_t>(size[3]) << 24;
    pos += 4;
    out.stream = data + pos;
    out.streamSize = total - pos;
    return true;
}

// Undoes stored[i] = plain[i] ^ plain[i + 1], from the plain last byte back.
void UndoXorChain(unsigned char* data, size_t size) {
    if (size < 2) return;
    for (size_t i = size - 1; i-- > 0;) data[i] ^= data[i + 1];
}

// lc + lp above 4 is valid LZMA that liblzma will not decode.
bool UnsupportedSettings(const unsigned char* props) {
    return props[0] < 9 * 5 * 5 && props[0] % 9 + props[0] / 9 % 5 > LZMA_LCLP_MAX;
}

// Raw LZMA into a buffer of the declared size: a stream that ends early
// without its end marker is an error, one that would give more is cut.
bool Decompress(const unsigned char* props, Bytes& stream, uint32_t unpackedSize, Bytes& image) {
    if (UnsupportedSettings(props)) return false;
    lzma_filter filter = {LZMA_FILTER_LZMA1, nullptr};
    if (lzma_properties_decode(&filter, nullptr, props, kPropsSize) != LZMA_OK) return false;
    std::unique_ptr<lzma_options_lzma, decltype(&free)> options(
        static_cast<lzma_options_lzma*>(filter.options), &free);
    // A window larger than the output is never needed; this keeps a forged
    // properties block from costing gigabytes.
    options->dict_size =
        std::min<uint32_t>(options->dict_size, std::max<uint32_t>(LZMA_DICT_SIZE_MIN, unpackedSize));
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

// The image never touches a path anyone else can write: the loader reads it
// back through this process's own descriptor. The name is refused while an
// object that never unloaded still answers to it, since the loader would
// hand that image back instead of this one.
void* LoadFromMemFile(const Bytes& image, std::string& path) {
    CUniqueFd fd(memfd_create(CZsoModule::kTempName, MFD_CLOEXEC | MFD_EXEC));
    if (fd.Get() < 0 && errno == EINVAL) fd.Reset(memfd_create(CZsoModule::kTempName, MFD_CLOEXEC));
    if (fd.Get() < 0 || !WriteAll(fd.Get(), image)) return nullptr;
    path = "/proc/self/fd/" + std::to_string(fd.Get());
    if (void* stale = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
        dlclose(stale);
        return nullptr;
    }
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

bool CZsoModule::ReadFile(const char* path, std::string& data) {
    if (!path || !*path) return false;
    CUniqueFd fd(open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info;
    if (fd.Get() < 0 || fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    if (info.st_size <= 0 || static_cast<unsigned long long>(info.st_size) > kMaxFileSize) return false;
    data.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t got = read(fd.Get(), &data[done], data.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

bool CZsoModule::ReportUnsupportedCompression(const std::string& file) {
    Parsed parsed;
    if (file.size() > kMaxFileSize || !Parse(file, parsed) || !UnsupportedSettings(parsed.props))
        return false;
    // Said apart from damage, so an operator knows the file itself is sound.
    CLog::GetInst()->WriteLog(kLogInfo, "module uses unsupported compression settings (lc %d, lp %d)",
                              parsed.props[0] % 9, parsed.props[0] / 9 % 5);
    return true;
}

std::unique_ptr<CZsoModule> CZsoModule::Open(const std::string& file) {
    Unpacked unpacked;
    if (!Unpack(file, unpacked)) return nullptr;

    std::string path;
    void* handle = LoadFromMemFile(unpacked.image, path);
    if (!handle) return nullptr;

    std::unique_ptr<CZsoModule> module(new CZsoModule());
    module->m_keyid = std::move(unpacked.keyid);
    module->m_key = std::move(unpacked.key);
    module->m_algoid = std::move(unpacked.algoid);
    module->m_size = static_cast<unsigned int>(unpacked.image.size());
    module->m_dh = handle;
    module->m_path = std::move(path);
    return module;
}

bool CZsoModule::Unpack(const std::string& file, Unpacked& out, uint32_t maxImage) {
    Parsed parsed;
    if (file.size() > kMaxFileSize || !Parse(file, parsed)) return false;
    if (parsed.unpackedSize == 0 || parsed.unpackedSize > std::min(maxImage, kMaxImageSize)) return false;

    Bytes stream(parsed.stream, parsed.stream + parsed.streamSize);
    UndoXorChain(stream.data(), stream.size());
    if (!Decompress(parsed.props, stream, parsed.unpackedSize, out.image)) return false;
    out.keyid = std::move(parsed.keyid);
    out.key = std::move(parsed.key);
    out.algoid = std::move(parsed.algoid);
    return true;
}

bool CZsoModule::Unload() {
    if (!m_dh) return true;
    dlclose(m_dh);
    m_dh = nullptr;
    void* stays = dlopen(m_path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (stays) dlclose(stays);
    return !stays;
}

CZsoModule::~CZsoModule() { Unload(); }

void* CZsoModule::Symbol(const char* name) const { return m_dh && name ? dlsym(m_dh, name) : nullptr; }
