// Stand-in for VelnorSvr in the launcher tests. Like the service it refuses
// to run while the process recorded under "PID" in conf/conf.xml is alive
// (exit 255), records its own PID, and then waits; unlike it, it takes one
// second to end after SIGTERM, as a service finishing a request would.
// Prints "ready" once recorded. No arguments; works in the current directory.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "ProcessInfo.h"

int main() {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, nullptr);

    std::ifstream in("conf/conf.xml");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    size_t start = text.find("<PID>"), end = text.find("</PID>");
    if (start != std::string::npos && end != std::string::npos && end > start &&
        ProcessInfo::IsNamedProcessAlive(text.substr(start + 5, end - start - 5).c_str(), "VelnorSvr"))
        return 255;
    std::ofstream("conf/conf.xml.tmp", std::ios::trunc) << "<conf><PID>" << getpid() << "</PID></conf>\n";
    if (rename("conf/conf.xml.tmp", "conf/conf.xml") != 0) return 1;
    printf("ready\n");
    fflush(stdout);

    int signal = 0;
    sigwait(&term, &signal);
    sleep(1);
    return 0;
}
