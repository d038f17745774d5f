#include "ZsoModule.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
    CModuleFile::Header header;
    if (file.size() > kMaxFileSize ||
        CModuleFile::ParseHeader(reinterpret_cast<const unsigned char*>(file.data()), file.size(), header) !=
            CModuleFile::kOk ||
        !CModuleFile::UnsupportedCompression(header.props))
        return false;
    // Said apart from damage, so an operator knows the file itself is sound.
    CLog::GetInst()->WriteLog(kLogInfo, "module uses unsupported compression settings (lc %d, lp %d)",
                              header.props[0] % 9, header.props[0] / 9 % 5);
    return true;
}

std::unique_ptr<CZsoModule> CZsoModule::Open(const std::string& file) {
    CModuleFile unpacked;
    if (file.size() > kMaxFileSize ||
        unpacked.Unpack(reinterpret_cast<const unsigned char*>(file.data()), file.size()) != CModuleFile::kOk)
        return nullptr;

    std::string path;
    void* handle = LoadFromMemFile(unpacked.image, path);
    if (!handle) return nullptr;

    std::unique_ptr<CZsoModule> module(new CZsoModule());
    module->m_keyid = std::move(unpacked.keyId);
    module->m_key = std::move(unpacked.key);
    module->m_algoid = std::move(unpacked.algoId);
    module->m_size = static_cast<unsigned int>(unpacked.image.size());
    module->m_dh = handle;
    module->m_path = std::move(path);
    return module;
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
