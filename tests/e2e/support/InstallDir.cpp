#include "InstallDir.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

std::string InstallDir::DefaultBinDir() { return VELNOR_E2E_BIN_DIR; }

std::string InstallDir::XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            default: out += c;
        }
    }
    return out;
}

bool InstallDir::WriteConf(const Options& options) const {
    std::error_code ec;
    fs::create_directories(File("conf"), ec);
    std::ofstream out(File("conf/conf.xml"), std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<conf>\n";
    out << "<version>" << XmlEscape(options.version) << "</version>\n";
    out << "<redirect>" << XmlEscape(options.redirect) << "</redirect>\n";
    for (const auto& [key, value] : options.values) out << "<" << key << ">" << XmlEscape(value) << "</" << key << ">\n";
    out << "</conf>\n";
    return static_cast<bool>(out);
}

bool InstallDir::InstallModule(const std::string& moduleFile) const {
    std::error_code ec;
    fs::copy_file(moduleFile, File("zxmAlogic.zxm"), fs::copy_options::overwrite_existing, ec);
    return !ec;
}

bool InstallDir::Prepare(const Options& options, std::string* error) {
    std::error_code ec;
    fs::create_directories(m_path, ec);
    if (ec) {
        if (error) *error = "cannot create " + m_path;
        return false;
    }
    for (const auto& program : options.programs) {
        fs::path from = fs::path(options.binDir) / program;
        if (!fs::exists(from)) continue;
        fs::copy_file(from, File(program), fs::copy_options::overwrite_existing, ec);
        if (ec) {
            if (error) *error = "cannot copy " + from.string();
            return false;
        }
    }
    if (!WriteConf(options)) {
        if (error) *error = "cannot write conf/conf.xml";
        return false;
    }
    if (!options.moduleFile.empty() && !InstallModule(options.moduleFile)) {
        if (error) *error = "cannot copy " + options.moduleFile;
        return false;
    }
    return true;
}

std::string InstallDir::ReadFile(const std::string& relative) const {
    std::ifstream in(File(relative), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
