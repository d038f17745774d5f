// CBusiness: base of a business. It parses each envelope addressed to it and
// calls the member handler registered for its opcode, or DefaultDeal. The
// opcode table is filled once in InitOpcodeFun and read-only afterwards, so
// DealMsg needs no lock; handlers run on the hub's message thread.
#pragma once

#include <map>

#include "AutoString.h"
#include "IServer.h"

class CXMLOpt;

class CBusiness : public IBusiness {
public:
    using Handler = void (CBusiness::*)(const char* source, CXMLOpt& message);

    CBusiness() = default;
    ~CBusiness() override = default;
    CBusiness(const CBusiness&) = delete;
    CBusiness& operator=(const CBusiness&) = delete;

    void InitService(IServer* server) override;
    void DealMsg(const char* envelope) override;
    void ServerStatus(int) override {}
    virtual void DefaultDeal(CXMLOpt&) {}
    virtual void InitOpcodeFun() {}

    // Formats the envelope (values are placed as given: callers escape what
    // needs it) and posts it; nothing is sent when any part is null.
    void PostMsg(const char* source, const char* target, const char* opcode, const char* param);
    void PostMsg(const char* envelope);
    IServer* GetServer() const { return m_pService; }

protected:
    template <typename Derived>
    void AddOpcode(const char* opcode, void (Derived::*handler)(const char*, CXMLOpt&)) {
        m_OpcodeMap[opcode] = static_cast<Handler>(handler);
    }

    IServer* m_pService = nullptr;
    std::map<CAutoString, Handler> m_OpcodeMap;
};
