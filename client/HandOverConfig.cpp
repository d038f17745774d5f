#include "HandOverConfig.h"

#include <utility>

#include "Markup.h"
#include "StagingDir.h"

std::string CHandOverConfig::Build(const std::string& installDir) {
    CMarkup settings;
    if (!settings.Load((installDir + "/conf/conf.xml").c_str())) return std::string();
    std::string version = kDefaultVersion;
    if (settings.FindElem("conf") && settings.FindChildElem("version"))
        version = settings.GetChildData().c_str();

    const std::pair<const char*, std::string> elements[] = {
        {"version", version},
        {"updateInstId", kUpdateInstId},
        {"decompressDir", installDir + "/decompress/"},
        {"updateDir", installDir + "/"},
        {"mainProgram", kMainProgram},
        {"mainProgramWnd", ""},
        {"mainProgramId", kMainProgramId},
        {"backupPath", ""},
        {"recordFile", installDir + "/conf/client.xml"},
        {"updateType", "0"},
        {"downloadDir", installDir + "/" + CStagingDir::kRelative},
        {"imgDir", ""},
    };
    CMarkup config("<conf/>");
    if (!config.FindElem("conf")) return std::string();
    for (const auto& [name, text] : elements) {
        if (!config.AddChildElem(name, text.c_str())) return std::string();
    }
    return config.GetDoc().c_str();
}
