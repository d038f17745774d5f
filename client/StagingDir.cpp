#include "StagingDir.h"

#include <filesystem>
#include <system_error>

#include "CommFunc.h"

namespace fs = std::filesystem;

namespace {
constexpr size_t kMaxNameLength = 64;
}  // namespace

CStagingDir::CStagingDir(std::string installDir) : m_installDir(std::move(installDir)) {
    if (m_installDir.empty()) return;
    m_path = m_installDir;
    if (m_path.back() != '/') m_path += '/';
    m_path += kRelative;
}

std::string CStagingDir::File(const std::string& name) const {
    if (!IsValid() || !IsSafeName(name)) return std::string();
    return m_path + name;
}

std::string CStagingDir::PackageFile(const std::string& name) const {
    std::string file = File(name);
    return file.empty() ? file : file + ".tar.gz";
}

bool CStagingDir::Create() const {
    if (!IsValid()) return false;
    std::error_code error;
    return CommFunc::RecuMkDir(m_path.c_str(), 0775, false) && fs::is_directory(m_path, error);
}

bool CStagingDir::Remove(const std::string& name) const {
    std::string file = File(name);
    if (file.empty()) return false;
    std::error_code error;
    // remove_all takes a symbolic link itself away, never what it points at.
    fs::remove_all(file, error);
    return !error;
}

bool CStagingDir::Clear() const {
    if (!IsValid()) return false;
    std::error_code error;
    fs::directory_iterator entries(m_path, error);
    if (error) return error == std::errc::no_such_file_or_directory;
    bool ok = true;
    for (const fs::directory_entry& entry : entries) {
        std::error_code removeError;
        fs::remove_all(entry.path(), removeError);
        ok = ok && !removeError;
    }
    return ok;
}

bool CStagingDir::CopyFromInstallDir(const std::string& name) const {
    std::string target = File(name);
    if (target.empty()) return false;
    std::error_code error;
    fs::path source = fs::path(m_installDir) / name;
    if (!fs::exists(source, error)) return false;
    // A folder copied over an older copy must not land inside it.
    if (!Remove(name)) return false;
    fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    return !error;
}

bool CStagingDir::IsSafeName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength || name == "." || name == "..") return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}
