// VelnorClient: the desktop window. Started from its installation
// directory: one client at a time, the service (re)started beside it, the
// window on the main thread and the pipe to the service on a thread of its
// own. The process ends through the window's destroy handler.
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "ClientManager.h"
#include "ClientStartup.h"
#include "CurlGlobal.h"
#include "ErrorCodeText.h"
#include "ISvrInfoCenter.h"
#include "MainWindow.h"
#include "NetWatch.h"
#include "PipeService.h"
#include "ServiceLauncher.h"
#include "UpdateManager.h"
#include "WholeFile.h"

namespace {

// True when a staged update must be installed before this client may run:
// the updater has then been started and takes over.
bool UpdateMustInstallFirst() { return CUpdateManager::GetInst()->CheckStartUp(); }

// The background update check, on its own thread, started on the first
// ready-to-log-in state.
void StartUpdateCheck() { CUpdateManager::GetInst()->StartBackgroundCheck(); }

CNetWatch::Options NetWatchOptions() {
    CNetWatch::Options options;
    CAutoString address = ClientInfoCenter()->GetLocalValue("pingAddress");
    if (address.GetLength() > 0) {
        options.address = address.GetBuffer();
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    // Before any thread: the update check makes HTTP requests.
    CCurlGlobal curl;
    if (!StartSingleClient()) {
        return -1;
    }
    // A save of the settings cut short by a kill leaves its temporary file,
    // with the account in it; no other client is saving now.
    CWholeFile::RemoveLeftovers("conf/client.xml");
    if (UpdateMustInstallFirst()) {
        std::printf("need update , exit\n");
        std::fflush(stdout);
        kill(getpid(), SIGKILL);
    }
    CPipeService::IgnoreSigPipe();
    // Before any thread may queue a window change.
    gdk_threads_init();

    // The window object takes queued changes from the start; they are
    // applied once the main loop runs, after the window is built.
    CClientManager* manager = CClientManager::GetInst();
    CMainWindow window(manager, [](long code, const char* subErrCode, const char* extra) {
        CAutoString text = CErrorCodeText::GetInst()->GetText(code, subErrCode, extra);
        return std::string(text.GetLength() > 0 ? text.GetBuffer() : "");
    });
    std::thread(static_cast<void (*)(IMainWindow*)>(LaunchService), &window).detach();

    gtk_init(&argc, &argv);
    CErrorCodeText::GetInst()->Load();
    window.BuildMainWindow();
    manager->SetWindow(&window);
    manager->SetUpdateCheckHook(StartUpdateCheck);
    std::thread(NetModuleThread).detach();

    CNetWatch watch(NetWatchOptions(), [&window] { window.ShowNetLostNotice(); });
    window.SetNetWatch(&watch);
    watch.Start();

    gdk_threads_enter();
    gtk_main();
    gdk_threads_leave();
    // Before libcurl's clean-up: a running update check is cancelled.
    CUpdateManager::GetInst()->Shutdown();
    return 0;
}
