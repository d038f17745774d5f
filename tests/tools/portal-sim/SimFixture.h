// Test fixture for the portal simulator: runs a CPortalSim in process with
// the XOR test modules and talks to it like the service would.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <memory>
#include <string>

#include "PortalSim.h"
#include "SimHttp.h"
#include "SimModule.h"
#include "TempDir.h"

struct SimAnswer {
    bool answered = false;
    int status = 0;
    std::string errorCode;  // "" when the header is absent
    std::string subError;
    std::string serverTag;
    std::string lastLogin;
    std::string location;
    std::string body;
    std::string decoded;  // the answer document, decoded with the module
};

class SimFixture : public ::testing::Test {
protected:
    static constexpr const char* kAlgoA = "AAAAAAAA-0000-4000-8000-00000000000A";
    static constexpr const char* kAlgoB = "BBBBBBBB-0000-4000-8000-00000000000B";

    void SetUp() override;
    void TearDown() override;

    // Starts the simulator; the scenario's "module" defaults to module A.
    void StartSim(const std::string& extraScenarioMembers = "");
    static std::string ModulePath(char variant);
    // A packed-module stand-in: the real head (key id, key, identifier) and some bytes.
    std::string WriteModuleFile(const std::string& name, const std::string& algoId);

    httplib::Client Client(int server = 0) const;
    // Posts a request document to an exchange path, encoded and headed the way
    // the service does it; edit lets a test spoil one header.
    SimAnswer Post(const std::string& path, const std::string& document,
                   const std::function<void(httplib::Headers&)>& edit = nullptr, char module = 'a',
                   int server = 0);
    static SimAnswer ToAnswer(const httplib::Result& result, CSimModule* decoder);

    std::string TicketDoc() const;
    std::string LoginDoc(const std::string& ticket, const std::string& user,
                         const std::string& password) const;
    std::string SimpleDoc(const std::string& exchange, const std::string& ticket,
                          const std::string& extra = "") const;
    // Gets a ticket and logs in; returns the ticket.
    std::string LogIn(const std::string& user = "alice", const std::string& password = "secret");
    static std::string Between(const std::string& text, const std::string& open, const std::string& close);
    // The log as JSON records of one endpoint.
    std::string LogOf(const std::string& endpoint) const;

    TempDir m_dir;
    std::unique_ptr<CPortalSim> m_sim;
    std::unique_ptr<CSimModule> m_moduleA;
    std::unique_ptr<CSimModule> m_moduleB;
    std::string m_clientId = "0123456789abcdef0123456789abcdef";
    std::string m_agent = "VXRA/Linux64/1.0.0";
};
