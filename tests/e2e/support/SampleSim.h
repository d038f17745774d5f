// The portal simulator as end-to-end runs use it: the sample algorithm
// module, the account alice/secret, servers inside a test's namespace on its
// server address. A scenario that names "module" or "accounts" brings its own.
#pragma once

#include <memory>
#include <string>

#include "PortalSimProcess.h"

PortalSimOptions SampleSimOptions(const std::string& workDir, const std::string& netns,
                                  const std::string& scenarioPatch = "");
// Started with those options; null (and a test failure) when it did not start.
std::unique_ptr<PortalSimProcess> StartSampleSim(const std::string& workDir, const std::string& netns,
                                                 const std::string& scenarioPatch = "");
