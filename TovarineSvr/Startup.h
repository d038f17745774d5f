// Start-up steps of VelnorSvr that run on the main thread before any other
// thread exists: the single-instance guard, the dated log, and hiding the
// console password from the process table.
#pragma once

class ISvrInfoCenter;

// True when this process may run; it then records its PID under "PID".
bool StartSingle(ISvrInfoCenter* infoCenter);
// Opens Log/<YYYYMMDD>_Info.log under the working directory at level 4.
void InitLog();
// Whether the recorded PID text names another live VelnorSvr. Only a whole
// number above 1 that belongs to a running process called VelnorSvr counts:
// after a reboot the number may belong to anyone.
bool IsServiceAlive(const char* pidText);
// Overwrites an argument in place so /proc/<pid>/cmdline no longer shows it.
void WipeArgument(char* argument);
