// Test doubles for CPortalConn: a host that records posts and answers
// address and DNS questions, a session on a fresh settings file in its own
// temporary directory, and the portal simulator (own process, 127.0.0.1)
// with the sample algorithm module on both sides.
#pragma once

#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "AuthConfig.h"
#include "InfoCenter.h"
#include "PortalConn.h"
#include "PortalSimProcess.h"
#include "TempDir.h"

class FakePortalHost : public IPortalHost {
public:
    // A state message as "old>new code sub", extended ones as "old>new code [subType] extern".
    void PostNetStateMessage(INetConn::ETYPE, INetConn::ESTATE o, INetConn::ESTATE n, int code,
                             CAutoString sub) override {
        states.push_back(Line(o, n, code) + sub.GetBuffer());
    }
    void PostNetStateMessageEx(INetConn::ETYPE, INetConn::ESTATE o, INetConn::ESTATE n, int code,
                               const char* type, const char* ext) override {
        states.push_back(Line(o, n, code) + "[" + type + "] " + ext);
    }
    void PostMsg(const char* opType, const char* opCode, const char* param) override {
        msgs.push_back(std::string(opType) + " " + opCode + " " + param);
    }
    void ChangeToUnknowEnv() override { ++unknownEnv; }
    void DisConnect(CAutoString source) override { disconnects.push_back(source.GetBuffer()); }
    int IsPortalEnv() const override { return portalEnv; }
    int GetIpAndMac(SHostAddress& address) override {
        address.ip4 = "10.20.30.40", address.mac = "02:00:00:00:00:01", address.family = kFamilyIPv4;
        return 1;
    }
    int SetDNS(CAutoString& dns1, CAutoString& dns2) override {
        dnsCalls.push_back(std::string(dns1.GetBuffer()) + "|" + dns2.GetBuffer());
        return 0;
    }
    static std::string Line(int o, int n, int code) {
        return std::to_string(o) + ">" + std::to_string(n) + " " + std::to_string(code) + " ";
    }
    std::string Last() const { return states.empty() ? "" : states.back(); }

    std::vector<std::string> states, msgs, disconnects, dnsCalls;
    int unknownEnv = 0, portalEnv = 1;
};

class PortalConnTest : public ::testing::Test {
protected:
    static std::string Bin(const std::string& name) { return std::string(VELNOR_BIN_DIR) + "/" + name; }

    void MakeConn(std::vector<std::pair<std::string, std::string>> local = {}, bool withModule = true) {
        if (m_sim) local.push_back({"redirect", m_sim->ProbeUrl()});
        std::ofstream conf(m_dir / "conf.xml");
        conf << "<conf>";
        for (const auto& kv : local) conf << "<" << kv.first << ">" << kv.second << "</" << kv.first << ">";
        conf << "</conf>\n";
        conf.close();
        m_info = std::make_unique<CInfoCenter>(CInfoCenter::Flavor::Service, (m_dir / "conf.xml").c_str());
        m_info->SetValue("hostName", "lab-pc");
        m_info->SetValue("clientId", "CID-0001");
        m_info->SetValue("version", "1.0.0");
        m_conn = std::make_unique<CPortalConn>(&m_host, m_info.get());
        m_conn->SetPreconnectPauseMs(0);
        m_conn->InitPortalConf();
        if (withModule) std::filesystem::copy_file(Bin("zxmAlogic.zxm"), m_dir / "zxmAlogic.zxm");
        m_conn->GetParser().Init((m_dir / "zxmAlogic.zxm").c_str());
    }
    CAuthConfig& Conf() { return *m_conn->GetAuthConfig(); }

    // Starts the simulator; extra holds more top-level scenario members.
    void StartSim(const std::string& extra = "") {
        PortalSimOptions options;
        options.workDir = m_dir / "sim";
        std::filesystem::create_directories(options.workDir);
        options.module = Bin("libsample_algo.so");
        options.scenarioJson = "{\"module\":{\"zxm\":\"" + Bin("zxmAlogic.zxm") + "\"}" +
                               (extra.empty() ? "" : ",") + extra + "}";
        m_sim = std::make_unique<PortalSimProcess>(options);
        std::string error;
        ASSERT_TRUE(m_sim->Start(&error)) << error;
    }
    void Fault(const std::string& endpoint, const std::string& json) {
        ASSERT_TRUE(m_sim->ClearFault(endpoint) && m_sim->SetFault(endpoint, json));
    }
    static std::string Login(const std::string& user) {
        return "<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>PortalConnect</OpC><P><user>" + user +
               "</user><password>secret</password></P></M>";
    }
    // Configuration, ticket and (with user) login, as the work loop runs them.
    void Prepare(const char* user = nullptr) {
        ASSERT_EQ(m_conn->RequestConfig(0), 1);
        ASSERT_EQ(m_conn->RequestTicket(), 1);
        if (user) {
            ASSERT_EQ(m_conn->Connect(Login(user).c_str()), 1);
        }
        m_host.states.clear();
    }
    // One "server algo-id error-code" line per request the simulator logged.
    std::vector<std::string> Requests(const std::string& endpoint) {
        std::vector<std::string> lines;
        cJSON* array = cJSON_Parse(m_sim->Requests(endpoint).c_str());
        const cJSON* item = nullptr;
        cJSON_ArrayForEach(item, array) {
            const cJSON* algo = cJSON_GetObjectItem(cJSON_GetObjectItem(item, "headers"), "Algo-ID");
            const cJSON* code = cJSON_GetObjectItem(item, "error_code");
            lines.push_back(std::to_string(cJSON_GetObjectItem(item, "server")->valueint) + " " +
                            (cJSON_IsString(algo) ? algo->valuestring : "-") + " " +
                            (cJSON_IsNumber(code) ? std::to_string(code->valueint) : "-"));
        }
        cJSON_Delete(array);
        return lines;
    }

    TempDir m_dir;
    std::unique_ptr<PortalSimProcess> m_sim;
    FakePortalHost m_host;
    std::unique_ptr<CInfoCenter> m_info;
    std::unique_ptr<CPortalConn> m_conn;
};
