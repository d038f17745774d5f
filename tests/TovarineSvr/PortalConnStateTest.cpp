// State changes and their messages, the replay, error headers, the account
// domain rule and published values.
#include <climits>
#include <cstring>
#include <thread>

#include "HttpData.h"
#include "PortalConnFixture.h"

using S = INetConn;
using V = std::vector<std::string>;

TEST_F(PortalConnTest, EachNewStateIsPostedOrOnlyRecorded) {
    MakeConn();
    // new state, current state before the call, posted line ("" = nothing)
    struct Case {
        S::ESTATE state, current;
        const char* posted;
    } cases[] = {{S::ES_PRECONNECTING, S::ES_CONNECTED, ""},
                 {S::ES_PRECONNECTING, S::ES_PRECONNECTED, ""},
                 {S::ES_PRECONNECTING, S::ES_PRECONNECTFAIL, "0>33 7 a&b"},
                 {S::ES_CONNECTED, S::ES_NONE, "0>2 7 a&b"},
                 {S::ES_CONNECTFAIL, S::ES_NONE, "0>3 7 a&b"},
                 {S::ES_DISCONNECTFAIL, S::ES_NONE, ""},
                 {S::ES_DISCONNECTING, S::ES_NONE, ""},
                 {S::ES_CANCELED, S::ES_NONE, ""}};
    for (const auto& c : cases) {
        m_conn->PostError(c.current, 0, 0, 1);  // sets the state directly
        m_host.states.clear();
        m_conn->NetStateChange(S::ES_NONE, c.state, 7, "a&b");
        EXPECT_EQ(m_host.Last(), c.posted) << c.state << " from " << c.current;
        EXPECT_EQ(m_conn->GetNetState(), *c.posted || c.state != S::ES_PRECONNECTING ? c.state : c.current);
    }
    EXPECT_EQ(m_conn->GetConnCfg(), 1);  // "connected" was reached and recorded
}

TEST_F(PortalConnTest, ReplayRepeatsTheLastPostedMessageInItsForm) {
    MakeConn();
    m_conn->PostLastNetStateMessage();
    EXPECT_TRUE(m_host.states.empty());
    m_conn->NetStateChange(S::ES_CONNECTING, S::ES_CONNECTFAIL, 140001, "<x>");
    m_conn->NetStateChange(S::ES_CONNECTED, S::ES_DISCONNECTFAIL, 150010, "");  // recorded, not posted
    m_conn->PostLastNetStateMessage();
    m_conn->PostError(S::ES_CONNECTFAIL, 150102, -4, 1);
    m_conn->PostLastNetStateMessage();
    EXPECT_EQ(m_host.states, (V{"1>3 140001 <x>", "1>3 140001 <x>", "0>3 150102 [HttpError] -4",
                                "0>3 150102 [HttpError] -4"}));
}

TEST_F(PortalConnTest, ErrorHeadersGiveTheCodeAndTheTrimmedSubError) {
    struct Case {
        const char* head;
        int code;
        const char* sub;
    } cases[] = {{"Sub-Error:  abc \r\n", -1, "abc"},
                 {"Error-Code: 0\r\n", 0, ""},
                 {"Error-Code: 105\r\nSub-Error: 9\r\n", 105, "9"},
                 {"Error-Code: \r\n", -1, ""},
                 {"Error-Code: 99999999999999\r\n", 2147483647, ""}};
    for (const auto& c : cases) {
        CHttpData data;
        data.RespHead(strdup((std::string("HTTP/1.1 200 OK\r\n") + c.head + "\r\n").c_str()));
        CAutoString sub("old");
        EXPECT_EQ(CPortalConn::GetErrorCode(data, sub), c.code) << c.head;
        EXPECT_STREQ(sub.GetBuffer(), c.sub) << c.head;
    }
}

TEST_F(PortalConnTest, AccountDomainRule) {
    struct Case {
        const char *type, *value, *domain, *account, *expected;
    } cases[] = {{"add-domain", "edu", "campus", "alice@other", "alice@edu"},
                 {"add-domain", "edu", "campus", "  alice ", "alice@edu"},
                 {"add-domain", "", "campus", "alice", "alice@campus"},
                 {"add-domain", "", "", "alice", "alice"},
                 {"del-domain", "", "", "alice@other", "alice"},
                 {"del-domain", "", "", "alice", "alice"},
                 {"keep", "edu", "", "alice@x", "alice@x"}};
    MakeConn();
    for (const auto& c : cases) {
        Conf().m_strAcountType = c.type, Conf().m_strAcountValue = c.value, Conf().domain = c.domain;
        Conf().userName = c.account;
        m_conn->AccountTran();
        EXPECT_STREQ(Conf().userName.GetBuffer(), c.expected) << c.type << " " << c.account;
    }
}

TEST_F(PortalConnTest, PublishedValuesAreStoredAsGivenAndPostedEscaped) {
    MakeConn();
    m_conn->SendData("FUN_X", "<X a=\"1&2\"/>");
    m_conn->SendData("empty", "");
    EXPECT_EQ(m_host.msgs,
              V{"Portal InfoCenter <key>FUN_X</key><value>&lt;X a=&quot;1&amp;2&quot;/&gt;</value>"});
    EXPECT_STREQ(m_info->GetValue("FUN_X").GetBuffer(), "<X a=\"1&2\"/>");
}

TEST_F(PortalConnTest, ClusterFromTheSettingsIsWalkedThroughOnce) {
    MakeConn({{"serverCluster", "10.0.0.1,10.0.0.2,"}, {"keepRetry", "4x"}, {"defaultAuth", "0"}});
    EXPECT_EQ(Conf().iKeepRetry, 4);
    EXPECT_EQ(Conf().nDefaultAuth, 1);
    Conf().ip4 = "10.20.30.40";
    CAutoString url("http://portal:8080/t"), first;
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
    first = url;
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
    EXPECT_NE(std::string(url.GetBuffer()), first.GetBuffer());
    EXPECT_EQ(m_conn->GetNewServerIP(url), 0);
    m_conn->ReloadServerLists();  // a second "ClientStart" refills a used-up list
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
}

TEST_F(PortalConnTest, OneNetworkCheckMovesThroughAtMostEightServers) {
    std::string list;
    for (int i = 1; i <= 12; ++i) list += "10.0.0." + std::to_string(i) + ",";
    MakeConn({{"serverCluster", list}});
    Conf().ip4 = "10.20.30.40";
    CAutoString url("http://portal/t");
    int moved = 0;
    while (moved < 20 && m_conn->GetNewServerIP(url)) ++moved;
    EXPECT_EQ(moved, CPortalCluster::kMaxFailovers);
    m_conn->BeginNetworkCheck();
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
}

TEST_F(PortalConnTest, KeepRetryIsHeldToItsBound) {
    const std::pair<int, int> cases[] = {{-5, 0}, {0, 0}, {2, 2}, {30, 30}, {31, 30}, {INT_MAX, 30}};
    for (const auto& c : cases) EXPECT_EQ(CPortalConn::ClampKeepRetry(c.first), c.second) << c.first;
    MakeConn({{"keepRetry", "2147483647"}});  // stored by an earlier run
    EXPECT_EQ(Conf().iKeepRetry, CPortalConn::kMaxKeepRetry);
}

TEST_F(PortalConnTest, ReplayFromTheMessageThreadNeverTearsAMessage) {
    MakeConn();
    m_conn->NetStateChange(S::ES_CONNECTING, S::ES_CONNECTFAIL, 1, "x");
    std::thread replay([this] {
        for (int i = 0; i < 200; ++i) m_conn->PostLastNetStateMessage();
    });
    for (int i = 0; i < 200; ++i)
        m_conn->NetStateChange(S::ES_CONNECTING, S::ES_CONNECTFAIL, i, std::to_string(i).c_str());
    replay.join();
    ASSERT_EQ(m_host.states.size(), 401u);
    for (const auto& line : m_host.states) {
        std::string code = line.substr(4, line.find(' ', 4) - 4);
        EXPECT_EQ(line, "1>3 " + code + " " + (code == "1" && line.back() == 'x' ? "x" : code));
    }
}
