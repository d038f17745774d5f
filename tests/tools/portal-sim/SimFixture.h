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

struct SimAnswer {
    std::string errorCode;  // "" when the header is absent
    std::string subError;
    std::string body;
    std::string decoded;  // the answer document, decoded with the module
};

class SimFixture : public ::testing::Test {
protected:
    static constexpr const char* kAlgo = "AAAAAAAA-0000-4000-8000-00000000000A";

    void SetUp() override;
    void TearDown() override;

    void StartSim(const std::string& extraScenarioMembers = "");
    static std::string ModulePath();

    httplib::Client Client() const;
    // Posts a request document to an exchange path, encoded and headed the way
    // the service does it; edit lets a test spoil one header.
    SimAnswer Post(const std::string& path, const std::string& document,
                   const std::function<void(httplib::Headers&)>& edit = nullptr);
    static SimAnswer ToAnswer(const httplib::Result& result, CSimModule* decoder);

    std::string TicketDoc() const;
    std::string LoginDoc(const std::string& ticket, const std::string& user,
                         const std::string& password) const;
    static std::string Between(const std::string& text, const std::string& open, const std::string& close);
    // The log as JSON records of one endpoint.
    std::string LogOf(const std::string& endpoint) const;

    std::unique_ptr<CPortalSim> m_sim;
    std::unique_ptr<CSimModule> m_module;
    std::string m_clientId = "0123456789abcdef0123456789abcdef";
    std::string m_agent = "VXRA/Linux64/1.0.0";
};
