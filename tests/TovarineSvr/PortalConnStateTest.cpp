// State changes, state messages and their replay, error headers, the
// account domain rule and published values.
#include <cstring>

#include "HttpData.h"
#include "PortalConnFixture.h"

using S = INetConn;

namespace {
// A response record holding only a header block.
void SetHead(CHttpData& data, const char* head) { data.RespHead(strdup(head)); }
}  // namespace

TEST_F(PortalConnTest, ProgressNeverPullsAReadyOrLoggedInStateBack) {
    MakeConn();
    struct Case {
        S::ESTATE current;
        bool posted;
    } cases[] = {{S::ES_CONNECTED, false}, {S::ES_PRECONNECTED, false}, {S::ES_PRECONNECTFAIL, true},
                 {S::ES_NONE, true},       {S::ES_CONNECTFAIL, true}};
    for (const auto& c : cases) {
        m_conn->PostError(c.current, 0, 0, 1);  // sets the state directly
        m_host.states.clear();
        m_conn->NetStateChange(S::ES_PRECONNECTING, S::ES_PRECONNECTING, 30000103, "");
        EXPECT_EQ(m_host.states.size(), c.posted ? 1u : 0u) << c.current;
        EXPECT_EQ(m_conn->GetNetState(), c.posted ? S::ES_PRECONNECTING : c.current);
    }
}

TEST_F(PortalConnTest, EachNewStateIsPostedOrOnlyRecorded) {
    MakeConn();
    struct Case {
        S::ESTATE state;
        bool posted;
    } cases[] = {{S::ES_CONNECTING, true},       {S::ES_CONNECTED, true},       {S::ES_CONNECTFAIL, true},
                 {S::ES_DISCONNECTED, true},     {S::ES_PRECONNECTED, true},    {S::ES_PRECONNECTFAIL, true},
                 {S::ES_PRECONNECTING, true},    {S::ES_NONE, false},           {S::ES_DISCONNECTING, false},
                 {S::ES_DISCONNECTFAIL, false},  {S::ES_PREDISCONNECTED, false}, {S::ES_CANCELING, false},
                 {S::ES_CANCELED, false}};
    for (const auto& c : cases) {
        m_conn->PostError(S::ES_NONE, 0, 0, 1);
        m_host.states.clear();
        m_conn->NetStateChange(S::ES_NONE, c.state, 7, "sub");
        EXPECT_EQ(m_conn->GetNetState(), c.state);
        ASSERT_EQ(m_host.states.size(), c.posted ? 1u : 0u) << c.state;
        if (c.posted) {
            const StatePost& p = m_host.states[0];
            EXPECT_FALSE(p.extended);
            EXPECT_EQ(p.type, S::ET_PORTAL);
            EXPECT_EQ(p.newState, c.state);
            EXPECT_EQ(p.code, 7);
            EXPECT_EQ(p.sub, "sub");
        }
    }
    // Reaching "connected" is remembered across restarts.
    EXPECT_EQ(m_info->GetLocalValue("connState"), CAutoString("1").GetBuffer());
    EXPECT_EQ(m_conn->GetConnCfg(), 1);
}

TEST_F(PortalConnTest, ReplaySendsNothingBeforeAnyPostThenTheLastMessage) {
    MakeConn();
    m_conn->PostLastNetStateMessage();
    EXPECT_TRUE(m_host.states.empty());

    m_conn->NetStateChange(S::ES_CONNECTING, S::ES_CONNECTFAIL, 140001, "bad <user>");
    // An intercepted logout changes the state but is not news, and not replayed.
    m_conn->NetStateChange(S::ES_CONNECTED, S::ES_DISCONNECTFAIL, 150010, "");
    EXPECT_EQ(m_conn->GetNetState(), S::ES_DISCONNECTFAIL);
    m_host.states.clear();
    m_conn->PostLastNetStateMessage();
    ASSERT_EQ(m_host.states.size(), 1u);
    EXPECT_FALSE(m_host.states[0].extended);
    EXPECT_EQ(m_host.states[0].oldState, S::ES_CONNECTING);
    EXPECT_EQ(m_host.states[0].newState, S::ES_CONNECTFAIL);
    EXPECT_EQ(m_host.states[0].code, 140001);
    // Portal text lands in an envelope: escaped.
    EXPECT_EQ(m_host.states[0].sub, "bad &lt;user&gt;");
}

TEST_F(PortalConnTest, PostErrorSendsTheExtendedFormAndIsReplayedAsSuch) {
    MakeConn();
    m_conn->PostError(S::ES_CONNECTFAIL, 150102, -4, 1);
    EXPECT_EQ(m_conn->GetNetState(), S::ES_CONNECTFAIL);
    m_conn->PostLastNetStateMessage();
    ASSERT_EQ(m_host.states.size(), 2u);
    for (const auto& p : m_host.states) {
        EXPECT_TRUE(p.extended);
        EXPECT_EQ(p.oldState, S::ES_NONE);
        EXPECT_EQ(p.newState, S::ES_CONNECTFAIL);
        EXPECT_EQ(p.code, 150102);
        EXPECT_EQ(p.sub, "HttpError");
        EXPECT_EQ(p.ext, "-4");
    }
    m_conn->PostNetStateMessageEx(S::ES_CONNECTING, S::ES_CONNECTFAIL, 150200, "ConnError", "a&b");
    EXPECT_EQ(m_host.Last()->ext, "a&amp;b");
}

TEST_F(PortalConnTest, ErrorHeadersGiveTheCodeAndTheTrimmedSubError) {
    struct Case {
        const char* head;
        int code;
        const char* sub;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nSub-Error:  abc \r\n\r\n", -1, "abc"},
        {"HTTP/1.1 200 OK\r\nError-Code: 0\r\n\r\n", 0, ""},
        {"HTTP/1.1 200 OK\r\nError-Code: 105\r\nSub-Error: 9\r\n\r\n", 105, "9"},
        {"HTTP/1.1 200 OK\r\nError-Code: \r\n\r\n", -1, ""},
        {"HTTP/1.1 200 OK\r\nError-Code: 99999999999999\r\n\r\n", 2147483647, ""},
        {"", -1, ""},
    };
    for (const auto& c : cases) {
        CHttpData data;
        SetHead(data, c.head);
        CAutoString sub("old");
        EXPECT_EQ(CPortalConn::GetErrorCode(data, sub), c.code) << c.head;
        EXPECT_STREQ(sub.GetBuffer(), c.sub) << c.head;
    }
}

TEST_F(PortalConnTest, AccountDomainRule) {
    struct Case {
        const char* type;
        const char* value;
        const char* domain;
        const char* account;
        const char* expected;
    } cases[] = {
        {"add-domain", "edu", "campus", "alice@other", "alice@edu"},
        {"add-domain", "edu", "campus", "  alice ", "alice@edu"},
        {"add-domain", "", "campus", "alice", "alice@campus"},
        {"add-domain", "", "", "alice", "alice"},
        {"del-domain", "", "campus", "alice@other", "alice"},
        {"del-domain", "", "campus", "alice", "alice"},
        {"other", "edu", "campus", "alice@x", "alice@x"},
    };
    MakeConn();
    for (const auto& c : cases) {
        Conf().m_strAcountType = c.type;
        Conf().m_strAcountValue = c.value;
        Conf().domain = c.domain;
        Conf().userName = c.account;
        m_conn->AccountTran();
        EXPECT_STREQ(Conf().userName.GetBuffer(), c.expected) << c.type << " " << c.account;
    }
}

TEST_F(PortalConnTest, SendDataStoresAndPostsEscapedValuesAndSkipsEmptyOnes) {
    MakeConn();
    m_conn->SendData("FUN_X", "<X a=\"1&2\"/>");
    m_conn->SendData("empty", "");
    m_conn->SendData("null", nullptr);
    ASSERT_EQ(m_host.msgs.size(), 1u);
    EXPECT_EQ(m_host.msgs[0].opType, "Portal");
    EXPECT_EQ(m_host.msgs[0].opCode, "InfoCenter");
    EXPECT_EQ(m_host.msgs[0].param, "<key>FUN_X</key><value>&lt;X a=&quot;1&amp;2&quot;/&gt;</value>");
    EXPECT_STREQ(m_info->GetValue("FUN_X").GetBuffer(), "<X a=\"1&2\"/>");
    EXPECT_TRUE(m_info->GetValue("empty").IsEmpty());
}

TEST_F(PortalConnTest, StartSeedsTheConfigurationFromTheSettingsFile) {
    MakeConn({{"redirect", "http://127.0.0.1:9/"},
              {"keepRetry", "4x"},
              {"defaultAuth", "0"},
              {"plusInterval", "abc"},
              {"disasterUrl", "HTTP://DR.Example"},
              {"serverCluster", "10.0.0.1,10.0.0.2,"}});
    EXPECT_STREQ(Conf().strUserAgent.GetBuffer(), "VXRA/Linux64/1.0.0");
    EXPECT_STREQ(Conf().ostag.GetBuffer(), "linux64");
    EXPECT_STREQ(Conf().hostName.GetBuffer(), "lab-pc");
    EXPECT_EQ(Conf().iKeepRetry, 4);
    EXPECT_EQ(Conf().nDefaultAuth, 1);
    EXPECT_EQ(Conf().fileInterval, 0);
    EXPECT_EQ(m_conn->DisasterRecovery("http://dr.example/x"), 1);
    EXPECT_EQ(m_conn->DisasterRecovery("http://elsewhere/"), 0);
    // The loaded cluster gives a server for the session's address.
    Conf().ip4 = "10.20.30.40";
    CAutoString url("http://portal.example:8080/portal/ticket");
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
    EXPECT_TRUE(url == "http://10.0.0.1/portal/ticket" || url == "http://10.0.0.2/portal/ticket") << url.GetBuffer();
    EXPECT_EQ(m_conn->GetNewServerIP(url), 1);
    EXPECT_EQ(m_conn->GetNewServerIP(url), 0);  // used up
}

TEST_F(PortalConnTest, UserAgentFollowsTheAddressFamily) {
    MakeConn();
    Conf().m_afType = 10;
    m_conn->SetServerIp();
    EXPECT_STREQ(Conf().strUserAgent.GetBuffer(), "VXRA/LinuxIpv664/1.0.0");
    Conf().m_afType = -1;
    m_conn->SetServerIp();
    EXPECT_STREQ(Conf().strUserAgent.GetBuffer(), "VXRA/LinuxIpv664/1.0.0");
    Conf().m_afType = 2;
    m_conn->SetServerIp();
    EXPECT_STREQ(Conf().strUserAgent.GetBuffer(), "VXRA/Linux64/1.0.0");
}

TEST_F(PortalConnTest, DnsInstructionNeedsAtLeastOneServer) {
    MakeConn();
    struct Case {
        const char* text;
        int result;
        const char* passed;
    } cases[] = {
        {"", -1, nullptr},
        {"not xml", -1, nullptr},
        {"<other><dns1>1.2.3.4</dns1></other>", -1, nullptr},
        {"<domain-config><dns1></dns1></domain-config>", -1, nullptr},
        {"<domain-config><dns2>5.6.7.8</dns2><dns1>1.2.3.4</dns1></domain-config>", 0, "1.2.3.4|5.6.7.8"},
    };
    for (const auto& c : cases) {
        m_host.dnsCalls.clear();
        CAutoString text(c.text);
        EXPECT_EQ(m_conn->SetDNS(text), c.result) << c.text;
        if (c.passed) {
            ASSERT_EQ(m_host.dnsCalls.size(), 1u);
            EXPECT_EQ(m_host.dnsCalls[0], c.passed);
        } else {
            EXPECT_TRUE(m_host.dnsCalls.empty());
        }
    }
}
