#include "SampleSim.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "NetNamespace.h"

PortalSimOptions SampleSimOptions(const std::string& workDir, const std::string& netns,
                                  const std::string& scenarioPatch) {
    const std::string bin = VELNOR_E2E_BIN_DIR;
    PortalSimOptions options;
    options.workDir = workDir;
    options.module = bin + "/libsample_algo.so";
    options.netns = netns;
    options.listen = {NetNamespace::ServerAddress()};
    std::string scenario = scenarioPatch.empty() ? "{}" : scenarioPatch, base;
    if (scenario.find("\"module\"") == std::string::npos)
        base += R"("module":{"zxm":")" + bin + "/zxmAlogic.zxm\"},";
    if (scenario.find("\"accounts\"") == std::string::npos) base += R"("accounts":{"alice":"secret"},)";
    if (scenario == "{}" && !base.empty()) base.pop_back();
    options.scenarioJson = "{" + base + scenario.substr(1);
    ::mkdir(workDir.c_str(), 0700);
    return options;
}

std::unique_ptr<PortalSimProcess> StartSampleSim(const std::string& workDir, const std::string& netns,
                                                 const std::string& scenarioPatch) {
    auto sim = std::make_unique<PortalSimProcess>(SampleSimOptions(workDir, netns, scenarioPatch));
    std::string error;
    if (sim->Start(&error)) return sim;
    ADD_FAILURE() << error;
    return nullptr;
}
