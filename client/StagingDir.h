// CStagingDir: the folder "Quellan/AutoSetupAuth/" under the installation
// directory where updates wait for the updater. Every change it makes stays
// inside that folder: names are single path components, removal never
// follows a symbolic link, and without a known installation directory it
// does nothing at all. One thread at a time (the update worker, or main
// before the worker can exist).
#pragma once

#include <string>

class CStagingDir {
public:
    static constexpr const char* kRelative = "Quellan/AutoSetupAuth/";

    // installDir "" (the working directory was unknown) makes an invalid
    // folder on which every operation fails.
    explicit CStagingDir(std::string installDir);

    bool IsValid() const { return !m_path.empty(); }
    const std::string& InstallDir() const { return m_installDir; }
    // The folder with a trailing "/", or "" when invalid.
    const std::string& Path() const { return m_path; }
    // Path() + name for a safe name (IsSafeName), else "".
    std::string File(const std::string& name) const;
    // Where the package of that name is downloaded: File(name) + ".tar.gz".
    std::string PackageFile(const std::string& name) const;

    // Creates the folder and its parents (mode 0775); existing ones are fine.
    bool Create() const;
    // Removes one entry (a folder with its contents); a missing one is fine.
    bool Remove(const std::string& name) const;
    // Removes everything inside the folder, keeping the folder.
    bool Clear() const;
    // Copies a file or folder of the installation directory into the
    // folder under the same name, replacing what is there.
    bool CopyFromInstallDir(const std::string& name) const;

    // Letters, digits, ".", "_" and "-", at most 64 characters, not "." or
    // "..": a name that can only ever mean one entry of this folder.
    static bool IsSafeName(const std::string& name);

private:
    std::string m_installDir;
    std::string m_path;
};
