// TempDir: a fresh directory under $TMPDIR (or /tmp) for one test, removed
// with everything in it when the test ends.
#pragma once

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    // Path of a name inside the directory.
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Whole files in a test's directory; a missing file reads as "".
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
