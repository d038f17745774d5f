// IConsolePortal: what the console front-end asks of the portal business,
// called directly on the console's own thread instead of through the pipe.
// The service wires CPortalServer in; tests give a fake.
#pragma once

class IConsolePortal {
public:
    virtual ~IConsolePortal() = default;
    // As if "ClientStart" had come from source "client" with an empty document.
    virtual void ClientStart() = 0;
    // As "CheckEnv": check the network at once.
    virtual void CheckNetStatus(int delayTime) = 0;
    // As "PortalConnect" from source "client", given the whole envelope.
    virtual void Login(const char* envelope) = 0;
    // Log off with this source.
    virtual void Logout(const char* source) = 0;
};
