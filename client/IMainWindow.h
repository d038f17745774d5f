// IMainWindow: what the client manager asks of the window. Every operation
// may be called from a thread other than the GTK main loop; the window makes
// the change on its own thread, in the order the calls arrive.
#pragma once

class IMainWindow {
public:
    virtual ~IMainWindow() = default;
    virtual void ShowInitPanel() = 0;
    virtual void ShowLoginPanel() = 0;
    // type 0: plain Internet, no portal session to log off; otherwise campus.
    virtual void ShowConnected(int type) = 0;
    // Error box with the text of code (and sub-error code), extra replacing "%s".
    virtual void ShowErrorDialog(long code, const char* subErrCode, const char* extra) = 0;
    // The same text in the initialisation panel's status line.
    virtual void ShowStateText(long code, const char* subErrCode, const char* extra) = 0;
    // A null text is ignored.
    virtual void SetInitText(const char* text) = 0;
};
