// Start of the service from the client: ends the service this installation
// directory recorded ("PID" in conf/conf.xml) when it is still this
// directory's VelnorSvr, makes the executable runnable and starts
// ./VelnorSvr without arguments and without a shell. The started service
// belongs to no one in the client (it is reparented at once, so never left a
// zombie) and inherits none of the client's descriptors.
// Any thread; one launch at a time per directory.
#pragma once

class IMainWindow;

// The launch of the program, in the working directory: status shown with
// "open svr %d" on standard output and "server start: %d" on the window.
void LaunchService(IMainWindow* window);
// The same in directory; returns the status: 0 when the service was
// started, otherwise the errno of the failed step.
int LaunchService(IMainWindow* window, const char* directory);
// Ends the service recorded in directory's conf/conf.xml: SIGTERM, up to
// 3 seconds for it to go, then SIGKILL and up to 3 more. True when none of
// ours is left running (also when there was none).
bool StopRecordedService(const char* directory);
