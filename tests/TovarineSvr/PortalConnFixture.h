// Test doubles for CPortalConn: a portal host that records what the session
// posts and asks, and a fixture that builds a session on a fresh settings
// file in its own temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "AuthConfig.h"
#include "InfoCenter.h"
#include "PortalConn.h"
#include "TempDir.h"

struct StatePost {
    bool extended;
    int type, oldState, newState, code;
    std::string sub;  // sub-error (plain) or sub-type (extended)
    std::string ext;  // extern (extended)
};

struct MsgPost {
    std::string opType, opCode, param;
};

class FakePortalHost : public IPortalHost {
public:
    void PostMsg(const char* lpOpType, const char* strOpCode, const char* strParam) override {
        msgs.push_back({lpOpType, strOpCode, strParam});
    }
    void PostNetStateMessage(INetConn::ETYPE type, INetConn::ESTATE o, INetConn::ESTATE n, int code,
                             CAutoString sub) override {
        states.push_back({false, type, o, n, code, sub.GetBuffer(), ""});
    }
    void PostNetStateMessageEx(INetConn::ETYPE type, INetConn::ESTATE o, INetConn::ESTATE n, int code,
                               const char* subType, const char* ext) override {
        states.push_back({true, type, o, n, code, subType, ext});
    }
    void ChangeToUnknowEnv() override { ++unknownEnv; }
    void DisConnect(CAutoString source) override { disconnects.push_back(source.GetBuffer()); }
    int IsPortalEnv() const override { return portalEnv; }
    int GetIpAndMac(CAutoString& ip4, CAutoString& ip6, CAutoString& mac) override {
        ip4 = addr4.c_str();
        ip6 = addr6.c_str();
        mac = hw.c_str();
        return ipResult;
    }
    int SetDNS(CAutoString& dns1, CAutoString& dns2) override {
        dnsCalls.push_back(std::string(dns1.GetBuffer()) + "|" + dns2.GetBuffer());
        return dnsResult;
    }

    // Codes of the state messages in order.
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const auto& s : states) codes.push_back(s.code);
        return codes;
    }
    const StatePost* Last() const { return states.empty() ? nullptr : &states.back(); }
    std::vector<MsgPost> Msgs(const std::string& opCode) const {
        std::vector<MsgPost> found;
        for (const auto& m : msgs)
            if (m.opCode == opCode) found.push_back(m);
        return found;
    }

    std::vector<StatePost> states;
    std::vector<MsgPost> msgs;
    std::vector<std::string> disconnects;
    std::vector<std::string> dnsCalls;
    int unknownEnv = 0;
    int portalEnv = 1;
    int ipResult = 1;
    int dnsResult = 0;
    std::string addr4 = "10.20.30.40", addr6 = "", hw = "02:00:00:00:00:01";
};

class PortalConnTest : public ::testing::Test {
protected:
    // Settings file with these local values (element name -> text), then the session.
    void MakeConn(const std::vector<std::pair<std::string, std::string>>& local = {}) {
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
    }
    CAuthConfig& Conf() { return *m_conn->GetAuthConfig(); }

    TempDir m_dir;
    FakePortalHost m_host;
    std::unique_ptr<CInfoCenter> m_info;
    std::unique_ptr<CPortalConn> m_conn;
};
