// VelnorSvr entry point: single-instance guard, log, hub, the "Portal"
// business, client identity, the console front-end when started with an
// account and a password, then the pipes to the desktop client. Once started
// the process ends only through the orderly stop (signals, the console).
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "ClientCommand.h"
#include "CurlGlobal.h"
#include "IConsolePortal.h"
#include "InfoCenter.h"
#include "Log.h"
#include "PipeService.h"
#include "PortalServer.h"
#include "Server.h"
#include "ServiceStop.h"
#include "Startup.h"
#include "UserInfo.h"
#include "WholeFile.h"
#include "XMLOpt.h"

namespace {

// The console's direct line to the portal business.
class CConsolePortal : public IConsolePortal {
public:
    explicit CConsolePortal(CPortalServer* portal) : m_pPortal(portal) {}
    void ClientStart() override {
        CXMLOpt empty;
        m_pPortal->Start("client", empty);
    }
    void CheckNetStatus(int delayTime) override { m_pPortal->CheckNetStatus(delayTime); }
    void Login(const char* envelope) override {
        CXMLOpt message(envelope);
        m_pPortal->Connect("client", message);
    }
    void Logout(const char* source) override { m_pPortal->DisConnect(CAutoString(source)); }

private:
    CPortalServer* m_pPortal;
};

}  // namespace

const char kUsage[] =
    "usage: VelnorSvr                      serve the desktop client over the pipes\n"
    "       VelnorSvr ACCOUNT PASSWORD     log in on the terminal as well\n"
    "       VelnorSvr ACCOUNT -            the same, the password read from standard input\n"
    "The console ends with 0 after the logout asked for at its prompt, 1 when the login\n"
    "fails, 2 when the preparation fails and 3 when the session ends on its own (the\n"
    "portal ends it, heartbeats fail, sharing is found). SIGTERM, SIGINT and SIGHUP log a\n"
    "live session out, restore the host's DNS servers and end with 0; a second signal\n"
    "ends at once. 255: another VelnorSvr runs in this directory; 4: its pipe cannot be made.\n";

const int kExitAnotherInstance = 255;
const int kExitNoPipe = 4;

int main(int argc, char* argv[]) {
    // First of all: the password must not stay readable in /proc/PID/cmdline.
    std::string password = argc >= 3 ? argv[2] : "";
    if (argc >= 3) WipeArgument(argv[2]);
    if (argc == 2 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        fputs(kUsage, stdout);
        return 0;
    }

    // Before any thread exists: a reader that goes away must not kill us,
    // and libcurl's global state is set up once.
    CPipeService::IgnoreSigPipe();
    CCurlGlobal curl;

    CInfoCenter* infoCenter = CInfoCenter::GetInst();
    static CUniqueFd instanceLock;
    if (!StartSingle(infoCenter, kInstanceLockFile, instanceLock)) {
        fprintf(stderr, "VelnorSvr: another VelnorSvr is running in this directory (%s is locked)\n",
                kInstanceLockFile);
        return kExitAnotherInstance;
    }
    // A save of the settings cut short by a kill leaves its temporary file.
    CWholeFile::RemoveLeftovers("conf/conf.xml");
    InitLog();
    if (argc >= 3 && password == "-" && !ReadPassword(STDIN_FILENO, password)) {
        fputs("VelnorSvr: no password on standard input\n", stderr);
        return CClientCommand::kExitLoginFailed;
    }

    static CServer server;
    CPortalServer* portal = CPortalServer::GetInst();
    portal->InitService(&server);
    portal->SetInfoCenter(infoCenter);

    CUserInfo userInfo(infoCenter);
    userInfo.Init();

    if (server.CreateServer("velnorsvrpipe") == -2) {
        fputs(
            "VelnorSvr: cannot make the pipe \"velnorsvrpipe\" in this directory "
            "(something that is not a FIFO is in the way)\n",
            stderr);
        CLog::GetInst()->WriteLog(kLogInfo, "cannot make the pipe velnorsvrpipe");
        return kExitNoPipe;
    }
    static CConsolePortal consolePortal(portal);
    CClientCommand* console = argc >= 3 ? CClientCommand::GetInst() : nullptr;
    CServiceStop::GetInst()->Start([console] {
        if (console) {
            server.SetConsoleEngine(nullptr);
            console->StopMsgEngine();
        }
        server.Shutdown();
    });
    if (console) {
        console->SetUserInfo(argv[1], password.c_str());
        std::fill(password.begin(), password.end(), '\0');
        console->SetPortal(&consolePortal);
        console->SetEnd([](int status) { CServiceStop::GetInst()->Request(status); });
        server.SetConsoleEngine(console);
        console->Start();
    }

    server.RegisterBusiness("Portal", portal);
    int opened = server.ConnectToServer("velnorclientpipe");
    if (opened != 0) {
        printf("\nopen server pipe ret = %d\n", opened);
        fflush(stdout);
    } else {
        server.DoWork();
    }
    for (;;) sleep(5);
}
