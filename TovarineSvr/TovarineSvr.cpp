// VelnorSvr entry point: single-instance guard, log, hub, the "Portal"
// business, client identity, the console front-end when started with an
// account and a password, then the pipes to the desktop client. The process
// never returns once started; it idles after the client's pipe fails.
#include <unistd.h>

#include <cstdio>

#include "ClientCommand.h"
#include "CurlGlobal.h"
#include "IConsolePortal.h"
#include "InfoCenter.h"
#include "PipeService.h"
#include "PortalServer.h"
#include "Server.h"
#include "Startup.h"
#include "UserInfo.h"
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

int main(int argc, char* argv[]) {
    // Before any thread exists: a reader that goes away must not kill us,
    // and libcurl's global state is set up once.
    CPipeService::IgnoreSigPipe();
    CCurlGlobal curl;

    CInfoCenter* infoCenter = CInfoCenter::GetInst();
    if (!StartSingle(infoCenter)) return -1;
    InitLog();

    CServer server;
    CPortalServer* portal = CPortalServer::GetInst();
    portal->InitService(&server);
    portal->SetInfoCenter(infoCenter);

    CUserInfo userInfo(infoCenter);
    userInfo.Init();

    static CConsolePortal consolePortal(portal);
    if (argc >= 3) {
        CClientCommand* console = CClientCommand::GetInst();
        console->SetUserInfo(argv[1], argv[2]);
        WipeArgument(argv[2]);
        console->SetPortal(&consolePortal);
        server.SetConsoleEngine(console);
        console->Start();
    }

    server.RegisterBusiness("Portal", portal);
    server.CreateServer("velnorsvrpipe");
    int opened = server.ConnectToServer("velnorclientpipe");
    if (opened != 0) {
        printf("\nopen server pipe ret = %d\n", opened);
        fflush(stdout);
    } else {
        server.DoWork();
    }
    for (;;) sleep(5);
}
