#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CurlGlobal.h"
#include "CurlHttp.h"
#include "HttpData.h"
#include "TempDir.h"

namespace {

// Set up before the server threads start, as a program's main does.
CCurlGlobal g_curl;

constexpr size_t kMiB = 1u << 20;

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A loopback server with canned routes that records every request it gets.
class CCurlHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(req);
            return httplib::Server::HandlerResponse::Unhandled;
        });
        m_server.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("root", "text/plain");
        });
        auto echo = [](const httplib::Request& req, httplib::Response& res) {
            res.set_header("X-Echo", "yes");
            res.set_content(req.method + ":" + req.body, "text/plain");
        };
        m_server.Get("/echo", echo);
        m_server.Post("/echo", echo);
        m_server.Get(R"(/status/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.status = std::stoi(req.matches[1]);
            res.set_content("error page", "text/plain");
        });
        m_server.Get(R"(/hop/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            int left = std::stoi(req.matches[1]);
            if (left == 0) return res.set_content("arrived", "text/plain");
            res.set_redirect("/hop/" + std::to_string(left - 1));
            res.set_content("moved", "text/plain");
        });
        m_server.Get(R"(/to/(\w+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_redirect(req.matches[1].str() + "://127.0.0.1/etc/passwd");
        });
        m_server.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait_for(lock, std::chrono::seconds(3), [this] { return m_stopping; });
            res.set_content("late", "text/plain");
        });
        m_server.Get(R"(/big/(\d+))", [this](const httplib::Request& req, httplib::Response& res) {
            res.set_content(m_file.substr(0, std::stoul(req.matches[1])), "application/octet-stream");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        // stop() is only heard once the accept loop runs.
        for (int i = 0; i < 5000 && !m_server.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(m_server.is_running());
    }

    void TearDown() override {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_stopping = true;
        }
        m_wake.notify_all();
        m_server.stop();
        if (m_thread.joinable()) m_thread.join();
    }

    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    std::vector<httplib::Request> Requests() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_requests;
    }

    int Get(CHttpData& data, const std::string& path) {
        std::string url = Url(path);
        data.szUrl = url.c_str();
        return CCurlHttp::Perform(&data);
    }

    const std::string m_file = Pattern(9 * kMiB);
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::vector<httplib::Request> m_requests;
    TempDir m_dir;
};

}  // namespace

TEST_F(CCurlHttpTest, GetSendsHeaderLinesAndKeepsHeadAndBody) {
    CHttpData data;
    data.szHead = "X-One: 1\r\nX-Two: 2";  // the last line needs no CRLF
    ASSERT_EQ(Get(data, "/echo"), 0);
    EXPECT_EQ(data.retCode, 200);
    EXPECT_STREQ(data.RespData(), "GET:");
    EXPECT_EQ(data.dwDataLen, 4u);
    EXPECT_EQ(data.GetHeadAttri("X-Echo"), "yes");
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].get_header_value("X-One"), "1");
    EXPECT_EQ(requests[0].get_header_value("X-Two"), "2");
}

TEST_F(CCurlHttpTest, PostSendsBodyOfGivenLengthAndOtherVerbsGet) {
    struct Case {
        const char* verb;
        const char* body;
        uint64_t length;
        const char* answer;
    } cases[] = {
        {"POST", "abcdef", CHttpData::kDefaultPostLen, "POST:abcdef"},
        {"post", "abcdef", 3, "POST:abc"},
        {"Post", nullptr, CHttpData::kDefaultPostLen, "POST:"},
        {"PUT", "abcdef", CHttpData::kDefaultPostLen, "GET:"},
    };
    for (const Case& c : cases) {
        CHttpData data;
        data.szVerb = c.verb;
        data.szPostData = c.body;
        data.dwPostDataLen = c.length;
        EXPECT_EQ(Get(data, "/echo"), 0) << c.verb;
        EXPECT_STREQ(data.RespData(), c.answer) << c.verb;
    }
}

TEST_F(CCurlHttpTest, StatusFromFourHundredFailsWithoutBuffers) {
    for (int status : {400, 404, 500}) {
        CHttpData data;
        EXPECT_EQ(Get(data, "/status/" + std::to_string(status)), -3);
        EXPECT_EQ(data.retCode, status);
        EXPECT_FALSE(data.HasRespHead());
        EXPECT_FALSE(data.HasRespData());
    }
    CHttpData below;
    EXPECT_EQ(Get(below, "/status/399"), 0);
}

TEST_F(CCurlHttpTest, MissingUrlIsRefusedBeforeAnyTransfer) {
    CHttpData data;
    EXPECT_EQ(CCurlHttp::Perform(&data), -1);
    data.szUrl = "";
    EXPECT_EQ(CCurlHttp::Perform(&data), -1);
    EXPECT_EQ(CCurlHttp::Perform(nullptr), -1);
}

TEST_F(CCurlHttpTest, RedirectIsReturnedAsIsWhenNotFollowed) {
    CHttpData data;
    data.bRedirect = false;
    ASSERT_EQ(Get(data, "/hop/1"), 0);
    EXPECT_EQ(data.retCode, 302);
    EXPECT_STREQ(data.RespData(), "moved");
    EXPECT_EQ(data.GetHeadAttri("Location"), "/hop/0");
}

TEST_F(CCurlHttpTest, FollowsTenRedirectsButNotEleven) {
    CHttpData ten;
    ASSERT_EQ(Get(ten, "/hop/10"), 0);
    EXPECT_STREQ(ten.RespData(), "arrived");
    CHttpData eleven;
    EXPECT_EQ(Get(eleven, "/hop/11"), -4);
    EXPECT_EQ(eleven.retCode, CURLE_TOO_MANY_REDIRECTS);
}

TEST_F(CCurlHttpTest, OnlyHttpAndHttpsAreFetched) {
    for (const char* path : {"/to/file", "/to/ftp", "/to/gopher"}) {
        CHttpData data;
        EXPECT_EQ(Get(data, path), -4) << path;
        EXPECT_EQ(data.retCode, CURLE_UNSUPPORTED_PROTOCOL) << path;
    }
    CHttpData direct;
    direct.szUrl = "file:///etc/hostname";
    EXPECT_EQ(CCurlHttp::Perform(&direct), -4);
    EXPECT_EQ(direct.retCode, CURLE_UNSUPPORTED_PROTOCOL);
}

TEST_F(CCurlHttpTest, RefusedConnectionFailsWithCurlCode) {
    // A bound socket that never listens refuses every connection.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
    CHttpData data;
    data.szUrl = url.c_str();
    testing::internal::CaptureStderr();
    EXPECT_EQ(CCurlHttp::Perform(&data), -4);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(data.retCode, CURLE_COULDNT_CONNECT);
    EXPECT_EQ(printed.rfind("\nlibcurl: (7) ", 0), 0u) << printed;
    EXPECT_EQ(printed.back(), '\n');
    close(fd);
}

TEST_F(CCurlHttpTest, TimeOutCountsMilliseconds) {
    CHttpData data;
    data.dwTimeOut = 500;  // the server answers after 3 s
    EXPECT_EQ(Get(data, "/stall"), -4);
    EXPECT_EQ(data.retCode, CURLE_OPERATION_TIMEDOUT);
}

TEST_F(CCurlHttpTest, ResponseBeyondTheCapFailsUnlessTheLargerCapIsChosen) {
    CHttpData capped;
    EXPECT_EQ(Get(capped, "/big/" + std::to_string(9 * kMiB)), -4);
    EXPECT_EQ(capped.retCode, CURLE_WRITE_ERROR);
    EXPECT_FALSE(capped.HasRespData());

    CHttpData module;
    module.dwMaxRespLen = CHttpData::kMaxModuleRespLen;
    ASSERT_EQ(Get(module, "/big/" + std::to_string(9 * kMiB)), 0);
    EXPECT_EQ(module.dwDataLen, 9 * kMiB);
    EXPECT_EQ(memcmp(module.RespData(), m_file.data(), 9 * kMiB), 0);
}

TEST_F(CCurlHttpTest, HeaderValuesCannotAddHeaderLines) {
    CHttpData data;
    data.szHead = "X-School: ab\rX-Evil: 1\ncd\r\n\x01X-Id: 7\x7f\r\n\r\n";
    ASSERT_EQ(Get(data, "/echo"), 0);
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].get_header_value("X-School"), "abX-Evil: 1cd");
    EXPECT_FALSE(requests[0].has_header("X-Evil"));
    EXPECT_EQ(requests[0].get_header_value("X-Id"), "7");
}

TEST_F(CCurlHttpTest, UrlIsNormalisedAndWrittenBack) {
    CHttpData data;
    ASSERT_EQ(Get(data, "?a=1&amp;b=2"), 0);
    EXPECT_STREQ(data.szUrl, Url("/?a=1&b=2").c_str());
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/");
    EXPECT_EQ(requests[0].get_param_value("b"), "2");
}

TEST(CCurlHttpUrlTest, PretreatUrlGivesAQueryAfterTheHostARootPath) {
    const char* cases[][2] = {
        {"http://host?a=1", "http://host/?a=1"},
        {"http://host:80?a=1&amp;b=2", "http://host:80/?a=1&b=2"},
        {"http://host/?a=1", "http://host/?a=1"},
        {"http://host/path?a=1", "http://host/path?a=1"},
        {"http://host/p?u=http://x?y", "http://host/p?u=http://x?y"},
        {"host?a=1&amp;b", "host?a=1&b"},
        {"http://host", "http://host"},
        {"", ""},
    };
    for (auto& c : cases) EXPECT_EQ(CCurlHttp::PretreatUrl(c[0]), c[1]) << c[0];
}

TEST_F(CCurlHttpTest, DownloadsResumeFromTheLocalLength) {
    std::string url = Url("/big/5000");
    std::string full = m_file.substr(0, 5000);
    std::string file = m_dir / "pkg.tar.gz";
    WriteFile(file, full.substr(0, 1000));
    testing::internal::CaptureStdout();
    EXPECT_TRUE(CCurlHttp::downLoad(url.c_str(), file.c_str()));
    std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFile(file), full);
    // "下载进度100%" in GBK, the terminal encoding of the target desktops.
    EXPECT_NE(shown.find("\xcf\xc2\xd4\xd8\xbd\xf8\xb6\xc8"
                         "100%\r"),
              std::string::npos)
        << shown;
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].get_header_value("Range"), "bytes=1000-");

    std::string other = m_dir / "other.tar.gz";
    WriteFile(other, full.substr(0, 4000));
    CHttpData data;
    data.szUrl = url.c_str();
    EXPECT_FALSE(CCurlHttp::downLoad(&data, other.c_str()));  // false: no failure
    EXPECT_EQ(ReadFile(other), full);
    EXPECT_EQ(data.retCode, 206);
    EXPECT_EQ(data.dwDataLen, 1000u);
}

TEST_F(CCurlHttpTest, DownloadsLeaveTheFileAloneOnErrorOrWhenComplete) {
    // url form: true on success; record form: true on failure.
    struct Case {
        const char* what;
        size_t local;
        const char* path;
        bool done;
    } cases[] = {
        {"already complete", 5000, "/big/5000", true},
        {"partial file of another resource", 5000, "/status/404", false},  // 416 for 10 bytes
        {"error page", 0, "/status/404", false},
        {"server error", 0, "/status/500", false},
    };
    for (const Case& c : cases) {
        std::string url = Url(c.path);
        std::string file = m_dir / "pkg.tar.gz";
        WriteFile(file, m_file.substr(0, c.local));
        EXPECT_EQ(CCurlHttp::downLoad(url.c_str(), file.c_str()), c.done) << c.what;
        CHttpData data;
        data.szUrl = url.c_str();
        EXPECT_EQ(CCurlHttp::downLoad(&data, file.c_str()), !c.done) << c.what;
        EXPECT_EQ(ReadFile(file), m_file.substr(0, c.local)) << c.what;
    }
    CHttpData noUrl;
    EXPECT_TRUE(CCurlHttp::downLoad(&noUrl, (m_dir / "x").c_str()));
    CHttpData unwritable;
    unwritable.szUrl = "http://127.0.0.1:1/";
    EXPECT_TRUE(CCurlHttp::downLoad(&unwritable, (m_dir / "no/such/dir").c_str()));
    EXPECT_FALSE(CCurlHttp::downLoad("http://127.0.0.1:1/", (m_dir / "no/such/dir").c_str()));
}

TEST_F(CCurlHttpTest, LocalFileLengthIsZeroForWhatCannotBeRead) {
    WriteFile(m_dir / "five", "12345");
    EXPECT_EQ(CCurlHttp::GetLocalFileLenth((m_dir / "five").c_str()), 5);
    EXPECT_EQ(CCurlHttp::GetLocalFileLenth((m_dir / "absent").c_str()), 0);
    EXPECT_EQ(CCurlHttp::GetLocalFileLenth(m_dir.Path().c_str()), 0);
}
