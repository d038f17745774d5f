// zxm-pack: packs a shared object into an algorithm module file, unpacks
// one again, or describes its header.
//
//   zxm-pack pack --key-id ID [--key TEXT] [--algo-id TEXT] [--preset N] <in.so> <out.zxm>
//   zxm-pack unpack <in.zxm> <out.so>
//   zxm-pack describe <in.zxm>
//
// Exit status: 0 success, 1 failure, 2 usage error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "Decimal.h"
#include "ModuleFile.h"
#include "UniqueFd.h"

namespace {

constexpr size_t kMaxInputSize = CModuleFile::kMaxImageSize + 64 * 1024;

int Usage() {
    fprintf(
        stderr,
        "usage: zxm-pack pack --key-id ID [--key TEXT] [--algo-id TEXT] [--preset 0-9] <in.so> <out.zxm>\n"
        "       zxm-pack unpack <in.zxm> <out.so>\n"
        "       zxm-pack describe <in.zxm>\n");
    return 2;
}

bool ReadAll(const char* path, std::vector<unsigned char>& data) {
    CUniqueFd fd(open(path, O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (fd.Get() < 0 || fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        fprintf(stderr, "zxm-pack: cannot read %s: %s\n", path, strerror(errno ? errno : EINVAL));
        return false;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxInputSize) {
        fprintf(stderr, "zxm-pack: %s is too large\n", path);
        return false;
    }
    data.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < data.size()) {
        ssize_t got = read(fd.Get(), data.data() + done, data.size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            fprintf(stderr, "zxm-pack: cannot read %s\n", path);
            return false;
        }
        done += static_cast<size_t>(got);
    }
    return true;
}

// Writes beside the target and renames, so a failed run leaves no half file.
bool WriteAll(const char* path, const std::vector<unsigned char>& data, mode_t mode) {
    std::string temp = std::string(path) + ".XXXXXX";
    CUniqueFd fd(mkostemp(&temp[0], O_CLOEXEC));
    if (fd.Get() < 0) {
        fprintf(stderr, "zxm-pack: cannot create %s: %s\n", path, strerror(errno));
        return false;
    }
    size_t done = 0;
    bool ok = fchmod(fd.Get(), mode) == 0;
    while (ok && done < data.size()) {
        ssize_t put = write(fd.Get(), data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0)
            ok = false;
        else
            done += static_cast<size_t>(put);
    }
    ok = fd.Close() == 0 && ok;
    ok = ok && rename(temp.c_str(), path) == 0;
    if (!ok) {
        fprintf(stderr, "zxm-pack: cannot write %s: %s\n", path, strerror(errno));
        unlink(temp.c_str());
    }
    return ok;
}

int Pack(int argc, char** argv) {
    CModuleFile module;
    bool haveKeyId = false;
    uint32_t preset = 6;
    std::vector<const char*> paths;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        bool takesValue = arg == "--key-id" || arg == "--key" || arg == "--algo-id" || arg == "--preset";
        if (takesValue && i + 1 >= argc) return Usage();
        if (arg == "--key-id") {
            module.keyId = argv[++i];
            haveKeyId = true;
        } else if (arg == "--key") {
            module.key = argv[++i];
        } else if (arg == "--algo-id") {
            module.algoId = argv[++i];
        } else if (arg == "--preset") {
            if (!Decimal::Parse(argv[++i], preset, 0u, 9u)) return Usage();
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage();
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (!haveKeyId || paths.size() != 2) return Usage();
    if (!ReadAll(paths[0], module.image)) return 1;
    std::vector<unsigned char> file;
    int result = module.Pack(file, preset);
    if (result != CModuleFile::kOk) {
        fprintf(stderr, "zxm-pack: cannot pack %s: %s\n", paths[0], CModuleFile::ErrorText(result));
        return 1;
    }
    return WriteAll(paths[1], file, 0644) ? 0 : 1;
}

int Unpack(int argc, char** argv) {
    if (argc != 2) return Usage();
    std::vector<unsigned char> file;
    if (!ReadAll(argv[0], file)) return 1;
    CModuleFile module;
    int result = module.Unpack(file.data(), file.size());
    if (result != CModuleFile::kOk) {
        fprintf(stderr, "zxm-pack: cannot unpack %s: %s\n", argv[0], CModuleFile::ErrorText(result));
        return 1;
    }
    return WriteAll(argv[1], module.image, 0755) ? 0 : 1;
}

// Texts from a file may hold anything; show them printable.
std::string Printable(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escaped[5];
            snprintf(escaped, sizeof(escaped), "\\x%02x", c);
            out += escaped;
        }
    }
    return out;
}

int Describe(int argc, char** argv) {
    if (argc != 1) return Usage();
    std::vector<unsigned char> file;
    if (!ReadAll(argv[0], file)) return 1;
    CModuleFile::Header header;
    int result = CModuleFile::ParseHeader(file.data(), file.size(), header);
    if (result != CModuleFile::kOk) {
        fprintf(stderr, "zxm-pack: %s: %s\n", argv[0], CModuleFile::ErrorText(result));
        return 1;
    }
    unsigned props = header.props[0];
    uint32_t dict = static_cast<uint32_t>(header.props[1]) | static_cast<uint32_t>(header.props[2]) << 8 |
                    static_cast<uint32_t>(header.props[3]) << 16 |
                    static_cast<uint32_t>(header.props[4]) << 24;
    printf("key-id: %s\nkey: %s\nalgo-id: %s\n", Printable(header.keyId).c_str(),
           Printable(header.key).c_str(), Printable(header.algoId).c_str());
    printf("lzma: lc=%u lp=%u pb=%u dict=%u\n", props % 9, props / 9 % 5, props / 45, dict);
    printf("unpacked-size: %u\nstream-size: %zu\n", header.unpackedSize, header.streamSize);
    CModuleFile module;
    result = module.Unpack(file.data(), file.size());
    if (result != CModuleFile::kOk) {
        printf("stream: unusable (%s)\n", CModuleFile::ErrorText(result));
        return 1;
    }
    printf("stream: ok, %zu bytes\n", module.image.size());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    std::string command = argv[1];
    if (command == "pack") return Pack(argc - 2, argv + 2);
    if (command == "unpack") return Unpack(argc - 2, argv + 2);
    if (command == "describe") return Describe(argc - 2, argv + 2);
    return Usage();
}
