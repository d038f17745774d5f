// VelnorAlgoHost: runs algorithm module code for VelnorSvr, which starts
// it with a stream socket on descriptor 3. It confines itself, then serves
// one request at a time until the socket closes or a module stays loaded.
// It exits with _exit: nothing must run after the last reply.
#include <unistd.h>

#include <string>

#include "ModuleCall.h"
#include "ModuleSandbox.h"
#include "ModuleWire.h"

namespace {

constexpr int kSocketFd = 3;

}  // namespace

int main() {
    // Nothing of the service's but the socket and the standard three.
    close_range(kSocketFd + 1, ~0U, 0);
    if (!ModuleSandbox::DropPrivileges() || !ModuleSandbox::InstallFilter(kSocketFd)) _exit(2);
    std::string frame;
    while (ModuleWire::ReadFrame(kSocketFd, frame)) {
        ModuleWire::Request request;
        if (!ModuleWire::Decode(frame, request)) _exit(3);
        ModuleWire::Reply reply = CModuleCall::Run(request);
        if (!ModuleWire::WriteFrame(kSocketFd, ModuleWire::Encode(reply)) || reply.retire) break;
    }
    _exit(0);
}
