#include "InstallDir.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "XmlText.h"

namespace fs = std::filesystem;

bool InstallDir::Prepare(const Options& options, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what;
        return false;
    };
    std::error_code ec;
    fs::create_directories(File("conf"), ec);
    if (ec) return fail("cannot create " + m_path);
    // The service and the helper that runs module code for it.
    for (const char* program : {"VelnorSvr", "VelnorAlgoHost"}) {
        fs::path built = fs::path(VELNOR_E2E_BIN_DIR) / program;
        if (fs::exists(built)) fs::copy_file(built, File(program), fs::copy_options::overwrite_existing, ec);
        if (ec) return fail("cannot copy " + built.string());
    }

    std::map<std::string, std::string> values = options.values;
    values.emplace("version", "1.0.0");
    values["redirect"] = options.redirect;
    std::ofstream out(File("conf/conf.xml"), std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<conf>\n";
    for (const auto& [key, value] : values)
        out << "<" << key << ">" << XmlText(value) << "</" << key << ">\n";
    out << "</conf>\n";
    if (!out.flush()) return fail("cannot write conf/conf.xml");

    if (!options.moduleFile.empty()) {
        fs::copy_file(options.moduleFile, File("zxmAlogic.zxm"), fs::copy_options::overwrite_existing, ec);
        if (ec) return fail("cannot copy " + options.moduleFile);
    }
    return true;
}

std::string InstallDir::ReadFile(const std::string& relative) const {
    std::ifstream in(File(relative), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}
