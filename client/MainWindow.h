// CMainWindow: the client's one GTK 2 window, 300 x 500, borderless and kept
// centred, with three panels: initialisation (waiting animation and status
// line), login (account and password) and state (connection text, on-line
// timer, log-off button). It holds no protocol logic: buttons call the
// client actions, and the client manager calls the IMainWindow operations.
//
// Threads: construct, BuildMainWindow and the GTK handlers on the GTK main
// thread. The IMainWindow operations and ShowNetLostNotice may come from any
// thread: they only queue the change, which the main loop applies in arrival
// order, one error box at a time. Ownership: actions and the network watch
// are not owned and must outlive the window (the process, in the program).
#pragma once

#include <functional>
#include <string>

#include "IMainWindow.h"
#include "UiChangeQueue.h"

class IClientActions;
class CNetWatch;
struct _GtkWidget;
typedef struct _GtkWidget GtkWidget;

class CMainWindow : public IMainWindow {
public:
    // The text for an error code, sub-error code and extra text ("" when unknown).
    using ErrorText = std::function<std::string(long code, const char* subErrCode, const char* extra)>;

    CMainWindow(IClientActions* actions, ErrorText errorText);
    ~CMainWindow() override;
    CMainWindow(const CMainWindow&) = delete;
    CMainWindow& operator=(const CMainWindow&) = delete;

    // Once, after gtk_init and before the main loop; images come from image/.
    void BuildMainWindow();
    // The login button switches it on, the log-off button off (may be null).
    void SetNetWatch(CNetWatch* watch) { m_netWatch = watch; }

    void ShowInitPanel() override;
    void ShowLoginPanel() override;
    void ShowConnected(int type) override;
    void ShowErrorDialog(long code, const char* subErrCode, const char* extra) override;
    void ShowStateText(long code, const char* subErrCode, const char* extra) override;
    void SetInitText(const char* text) override;
    // The non-modal notice "网络已断开！".
    void ShowNetLostNotice();

private:
    struct Widgets;
    struct Signals;
    friend struct Signals;
    enum class Panel { Init, Login, State };

    void Post(std::function<void()> change);
    void PostBox(std::string text, bool withParent);
    std::string CodeText(long code, const char* subErrCode, const char* extra) const;

    // GUI thread only from here on.
    void SwitchPanel(Panel panel);
    void OpenBox(const std::string& text, bool withParent);
    void SetLabel(GtkWidget* label, const char* traceKey, const std::string& text);
    void OnLogin();
    void OnLogoff();
    void OnTimer();
    void OnClose();
    void OnDestroy();
    void StopTimer();

    static int DrainCallback(void* self);
    static int TimerCallback(void* self);

    IClientActions* m_actions;
    ErrorText m_errorText;
    CNetWatch* m_netWatch = nullptr;
    CUiChangeQueue m_queue;
    Widgets* m_w = nullptr;  // owned; GTK's widgets belong to the toplevel
    unsigned m_timerId = 0;
    unsigned long m_seconds = 0;
    bool m_timerRunning = true;
};
