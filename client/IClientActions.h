// IClientActions: what the window asks of the client manager when the user
// acts. Called on the GTK main thread; each call only writes to the pipe and
// the client's settings, so it never blocks the window.
#pragma once

class IClientActions {
public:
    virtual ~IClientActions() = default;
    virtual void Login(const char* account, const char* password) = 0;
    virtual void Logout() = 0;
    virtual void Exit() = 0;
};
