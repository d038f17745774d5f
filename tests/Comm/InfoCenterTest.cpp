#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "InfoCenter.h"
#include "TempDir.h"

namespace {

// Records what the notification hook is handed, which the real store drops.
class RecordingInfoCenter : public CInfoCenter {
public:
    using CInfoCenter::CInfoCenter;
    void PostMsg(const char* source, const char* target, const char* opcode, const char* param) override {
        posts.push_back(std::string(source) + "|" + target + "|" + opcode + "|" + param);
    }
    std::vector<std::string> posts;
};

class CInfoCenterTest : public ::testing::Test {
protected:
    TempDir m_dir;
    std::string m_file = m_dir / "conf.xml";
};

}  // namespace

TEST_F(CInfoCenterTest, LastValueWinsAndLocalValuesAreSavedWhole) {
    std::ofstream(m_file) << "<conf><version>1.0.0</version></conf>";
    {
        CInfoCenter store(CInfoCenter::Flavor::Service, m_file.c_str());
        store.SetValue("ticket", "a");
        store.SetValue("ticket", "b");
        EXPECT_STREQ(store.GetValue("ticket"), "b");
        EXPECT_FALSE(store.GetValue("missing").IsNull());
        EXPECT_STREQ(store.GetValue("missing"), "");
        EXPECT_TRUE(store.SetLocalValue("PID", "123\n"));
        EXPECT_TRUE(store.SetLocalValue("PID", "456\n"));
        EXPECT_STREQ(store.GetLocalValue("absent"), "");
        // The same value again is not written again (a save replaces the file).
        struct stat before, after;
        ASSERT_EQ(stat(m_file.c_str(), &before), 0);
        EXPECT_TRUE(store.SetLocalValue("PID", "456\n"));
        ASSERT_EQ(stat(m_file.c_str(), &after), 0);
        EXPECT_EQ(before.st_ino, after.st_ino);
    }
    std::stringstream text;
    text << std::ifstream(m_file).rdbuf();
    EXPECT_EQ(text.str().find("123"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("<PID>456\n</PID>"), std::string::npos) << text.str();
    CInfoCenter reloaded(CInfoCenter::Flavor::Service, m_file.c_str());
    EXPECT_STREQ(reloaded.GetLocalValue("PID"), "456\n");
    EXPECT_STREQ(reloaded.GetLocalValue("version"), "1.0.0");
}

TEST_F(CInfoCenterTest, WithoutSettingsFileNothingIsStoredOrCreated) {
    CInfoCenter store(CInfoCenter::Flavor::Service, m_file.c_str());
    EXPECT_FALSE(store.SetLocalValue("PID", "1"));
    EXPECT_NE(access(m_file.c_str(), F_OK), 0);
    EXPECT_STREQ(store.GetLocalValue("PID"), "");
}

TEST_F(CInfoCenterTest, GlobalValuesNotifyOnlyInTheServiceAndResendInKeyOrder) {
    RecordingInfoCenter service(CInfoCenter::Flavor::Service, nullptr);
    service.SetGlobalValue("wlanuserip", "10.1.2.3");
    service.SetGlobalValue("ticket", "T1");
    const std::string wlan = "Portal|InfoCenter|SetValue|<key>wlanuserip</key><value>10.1.2.3</value>",
                      ticket = "Portal|InfoCenter|SetValue|<key>ticket</key><value>T1</value>";
    EXPECT_EQ(service.posts, (std::vector<std::string>{wlan, ticket}));
    service.posts.clear();
    service.SynchroGlobalValue();
    EXPECT_EQ(service.posts, (std::vector<std::string>{ticket, wlan}));

    RecordingInfoCenter client(CInfoCenter::Flavor::Client, nullptr);
    client.SetGlobalValue("account", "alice");
    EXPECT_TRUE(client.posts.empty());
    EXPECT_STREQ(client.GetValue("account"), "alice");
}

TEST_F(CInfoCenterTest, ConcurrentWritersAndReadersKeepTheFileWhole) {
    std::ofstream(m_file) << "<conf></conf>";
    CInfoCenter store(CInfoCenter::Flavor::Service, m_file.c_str());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&store, t] {
            const std::string key = "k" + std::to_string(t);
            for (int i = 0; i < 50; ++i) {
                store.SetLocalValue(key.c_str(), std::to_string(i).c_str());
                store.SetValue(key.c_str(), "v");
                store.GetLocalValue("k0");
                store.GetValue("k1");
            }
        });
    for (auto& thread : threads) thread.join();
    CInfoCenter reloaded(CInfoCenter::Flavor::Service, m_file.c_str());
    for (int t = 0; t < 4; ++t) EXPECT_STREQ(reloaded.GetLocalValue(("k" + std::to_string(t)).c_str()), "49");
}
