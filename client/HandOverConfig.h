// CHandOverConfig: the configuration handed to the updater as its one
// argument: root "conf" with twelve elements in a fixed order (version,
// the updater's identifiers, the folders it works in, the program to
// restart). Built with the XML writer, so paths with any characters stay
// intact. Pure function of the installation directory's files; any thread.
#pragma once

#include <string>

class CHandOverConfig {
public:
    static constexpr const char* kUpdateInstId = "UpdateInst_B5FF888E-C6EB-4a14-A3FD-622D682077A8";
    static constexpr const char* kMainProgram = "VelnorClient";
    // Our fixed single-instance identifier, by which the updater knows us.
    static constexpr const char* kMainProgramId = "VelnorClient_6F3A1C52-9D4E-4B7A-8E21-0C5D7B3F9A64";
    // The version when conf/conf.xml has none.
    static constexpr const char* kDefaultVersion = "1033";

    // "" when installDir + "/conf/conf.xml" cannot be loaded.
    static std::string Build(const std::string& installDir);
};
