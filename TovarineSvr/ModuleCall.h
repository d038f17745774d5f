// CModuleCall: runs one request of the service against a module, inside
// VelnorAlgoHost: loads the module from the request's bytes, calls its
// exports, unloads it, and says in the reply what happened. The service
// turns that into its fallback texts and log lines.
#pragma once

#include "ModuleWire.h"

class CModuleCall {
public:
    // The text a new module must give back after Code and then DeCode.
    static constexpr const char* kTrialText =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><trial>velnor</trial></request>";

    static ModuleWire::Reply Run(const ModuleWire::Request& request);
    // The same call on a module already loaded, which stays loaded (the
    // fuzz target keeps one for its whole run).
    static ModuleWire::Reply Run(CZsoModule& module, ModuleWire::EOp op, const std::string& input);

    // The callback handed to the module's "Prepare" (context: PrepareContext).
    static void PrepareCallback(const char* strPrefix, const char* strKey, void* data);

private:
    static ModuleWire::Reply Code(CZsoModule& module, const std::string& input);
    static ModuleWire::Reply DeCode(CZsoModule& module, const std::string& input);
    static ModuleWire::Reply Trial(CZsoModule& module);
};
