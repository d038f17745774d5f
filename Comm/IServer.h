// The two faces of the message hub: IServer is what a business sees of its
// hub, IBusiness what the hub sees of a business.
#pragma once

class IBusiness;
class ISvrInfoCenter;

class IServer {
public:
    virtual ~IServer() = default;
    // A second registration under the same name replaces the first.
    virtual void RegisterBusiness(const char* name, IBusiness* business) = 0;
    // Sends a finished envelope; any thread may call it.
    virtual void PostMessage(const char* envelope) = 0;
    virtual ISvrInfoCenter* GetInfoCenter() = 0;
};

class IBusiness {
public:
    virtual ~IBusiness() = default;
    virtual void InitService(IServer* server) = 0;
    // Handles one envelope addressed to this business (raw text).
    virtual void DealMsg(const char* envelope) = 0;
    // The hub's connection to the other program ended.
    virtual void ServerStatus(int status) = 0;
};
