#include "WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "UniqueFd.h"
#include "UniqueStream.h"

namespace {

bool WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// The file a name finally refers to, so that a link to the settings stays a link.
std::string ResolveTarget(const char* fileName) {
    struct stat info;
    if (lstat(fileName, &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(fileName, resolved)) return resolved;
    }
    return fileName;
}

std::string DirectoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int CWholeFile::Read(const char* fileName, size_t maxBytes, std::string& data) {
    data.clear();
    if (!fileName || !*fileName) return -1;
    // Non-blocking so that a FIFO under the name is refused instead of waited on.
    CUniqueFd fd(open(fileName, O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) return -1;
    struct stat info;
    if (fstat(fd.Get(), &info) != 0) return -1;
    if (!S_ISREG(info.st_mode)) return -2;
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) return -3;
    // The size is only a hint: the file may change while it is read.
    std::vector<char> buffer(64 * 1024);
    while (true) {
        ssize_t n = read(fd.Get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            data.clear();
            return -1;
        }
        if (n == 0) return 0;
        if (data.size() + static_cast<size_t>(n) > maxBytes) {
            data.clear();
            return -3;
        }
        data.append(buffer.data(), static_cast<size_t>(n));
    }
}

namespace {

// "." + base + "." + the six characters mkostemp puts in place of XXXXXX.
bool IsTemporaryOf(const std::string& name, const std::string& base) {
    std::string prefix = "." + base + ".";
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (size_t i = prefix.size(); i < name.size(); ++i)
        if (!isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

}  // namespace

std::string CWholeFile::TemporaryTemplate(const std::string& path) {
    return DirectoryOf(path) + "/." + BaseOf(path) + ".XXXXXX";
}

int CWholeFile::RemoveLeftovers(const char* fileName) {
    if (!fileName || !*fileName) return 0;
    std::string target = ResolveTarget(fileName);
    std::string dir = DirectoryOf(target);
    std::string base = BaseOf(target);
    CUniqueDir folder(opendir(dir.c_str()));
    if (!folder) return 0;
    int removed = 0;
    while (dirent* entry = readdir(folder.get())) {
        if (!IsTemporaryOf(entry->d_name, base)) continue;
        struct stat info;
        std::string path = dir + "/" + entry->d_name;
        if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && unlink(path.c_str()) == 0) ++removed;
    }
    return removed;
}

int CWholeFile::WriteAtomic(const char* fileName, const void* data, size_t length, mode_t newFileMode) {
    if (!fileName || !*fileName) return -1;
    std::string target = ResolveTarget(fileName);
    std::string dir = DirectoryOf(target);
    std::string tmpl = TemporaryTemplate(target);
    std::vector<char> tmpName(tmpl.begin(), tmpl.end());
    tmpName.push_back('\0');

    CUniqueFd fd(mkostemp(tmpName.data(), O_CLOEXEC));
    if (fd.Get() < 0) return -1;
    struct stat old;
    if (stat(target.c_str(), &old) == 0) {
        // Best effort: an unprivileged writer cannot give the file away.
        int ignored = fchown(fd.Get(), old.st_uid, old.st_gid);
        (void)ignored;
        fchmod(fd.Get(), old.st_mode & 07777);
    } else {
        fchmod(fd.Get(), newFileMode & 07777);
    }
    bool written = WriteAll(fd.Get(), static_cast<const char*>(data), length) && fsync(fd.Get()) == 0;
    if (fd.Close() != 0) written = false;
    if (!written) {
        unlink(tmpName.data());
        return -2;
    }
    if (rename(tmpName.data(), target.c_str()) != 0) {
        unlink(tmpName.data());
        return -3;
    }
    // Make the rename itself durable.
    CUniqueFd dirFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() >= 0) fsync(dirFd.Get());
    return 0;
}
