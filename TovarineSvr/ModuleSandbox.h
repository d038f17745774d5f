// The confinement VelnorAlgoHost puts itself in before it touches any
// module: no root, no way back to privileges, no core dumps, and a
// system-call filter that leaves little beyond reading its socket,
// loading from memory files, answering on the socket and exiting.
#pragma once

namespace ModuleSandbox {

// Drops to the user "nobody" (uid and gid 65534 when it has no entry)
// when started as root, with no supplementary groups and no capabilities;
// sets no-new-privileges. False when any step fails.
bool DropPrivileges();
// Installs the filter; socketFd is the only descriptor sends may go to.
// A forbidden call kills the process.
bool InstallFilter(int socketFd);

}  // namespace ModuleSandbox
