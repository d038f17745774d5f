// InstallDir: a temporary installation directory for an end-to-end run: the
// service and its module helper copied from the build, conf/conf.xml (root "conf" with "version",
// "redirect" pointing at the simulator's probe, and any extra values) and the
// packed sample module as "zxmAlogic.zxm". The directory itself belongs to
// the caller (usually a TempDir); one test thread uses an instance.
#pragma once

#include <map>
#include <string>

class InstallDir {
public:
    struct Options {
        std::string redirect;  // the probe URL
        std::map<std::string, std::string>
            values;              // more elements under "conf" ("version" defaults to 1.0.0)
        std::string moduleFile;  // copied as zxmAlogic.zxm when set
    };

    explicit InstallDir(std::string path) : m_path(std::move(path)) {}

    // False with a reason when something required cannot be put in place.
    bool Prepare(const Options& options, std::string* error);

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& relative) const { return m_path + "/" + relative; }
    std::string ReadFile(const std::string& relative) const;

private:
    std::string m_path;
};
