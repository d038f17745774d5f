#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "CurlGlobal.h"
#include "CurlHttp.h"
#include "HttpData.h"
#include "TempDir.h"
#include "UniqueFd.h"

namespace {

// Set up before the server threads start, as a program's main does.
CCurlGlobal g_curl;

constexpr size_t kMiB = 1u << 20;

std::string Pattern(size_t size) {
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + i % 26);
    return text;
}

// openssl s_server on 127.0.0.1 with a port of the system's choice.
class CTlsServer {
public:
    // The port from its "ACCEPT 127.0.0.1:PORT" line, read within ten seconds; 0 on failure.
    int Start(const std::string& cert, const std::string& key) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return 0;
        CUniqueFd reader(out[0]), writer(out[1]);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(writer.Get(), 1);
            dup2(writer.Get(), 2);
            execlp("openssl", "openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", cert.c_str(), "-key",
                   key.c_str(), "-www", static_cast<char*>(nullptr));
            _exit(127);
        }
        writer.Reset();
        m_out = std::move(reader);
        std::string text;
        char buffer[256];
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_pid > 0 && std::chrono::steady_clock::now() < deadline) {
            pollfd fd{m_out.Get(), POLLIN, 0};
            if (poll(&fd, 1, 200) <= 0) continue;
            ssize_t n = read(m_out.Get(), buffer, sizeof(buffer));
            if (n <= 0) return 0;
            text.append(buffer, static_cast<size_t>(n));
            size_t at = text.find("ACCEPT 127.0.0.1:");
            if (at != std::string::npos && text.find('\n', at) != std::string::npos)
                return std::stoi(text.substr(at + 17));
        }
        return 0;
    }
    ~CTlsServer() {
        if (m_pid > 0 && kill(m_pid, SIGTERM) == 0) waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
    CUniqueFd m_out;
};

// A loopback server with canned routes that records every request it gets.
class CCurlHttpTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_requests.push_back(req);
            return httplib::Server::HandlerResponse::Unhandled;
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

    // What the server got since the last call.
    std::vector<httplib::Request> TakeRequests() {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::exchange(m_requests, {});
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

TEST_F(CCurlHttpTest, SendsNormalisedUrlAndHeaderLinesWithoutControlCharacters) {
    CHttpData data;
    // A CR or LF inside a value must not start a header line of its own; the last line needs no CRLF.
    data.szHead = "X-School: ab\rX-Evil: 1\ncd\r\n\r\n\x01X-Id: 7\x7f\r\nX-Two: 2";
    ASSERT_EQ(Get(data, "/echo?a=1&amp;b=2"), 0);
    EXPECT_STREQ(data.szUrl, Url("/echo?a=1&b=2").c_str()) << "written back";
    EXPECT_EQ(data.retCode, 200);
    EXPECT_STREQ(data.RespData(), "GET:");
    EXPECT_EQ(data.dwDataLen, 4u);
    EXPECT_EQ(data.GetHeadAttri("X-Echo"), "yes");
    auto requests = TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].get_header_value("X-School"), "abX-Evil: 1cd");
    EXPECT_FALSE(requests[0].has_header("X-Evil"));
    EXPECT_EQ(requests[0].get_header_value("X-Id"), "7");
    EXPECT_EQ(requests[0].get_header_value("X-Two"), "2");
    EXPECT_EQ(requests[0].get_param_value("b"), "2");
}

TEST_F(CCurlHttpTest, PostSendsBodyOfGivenLengthAndOtherVerbsGet) {
    const std::tuple<const char*, const char*, uint64_t, const char*> cases[] = {
        {"POST", "abcdef", CHttpData::kDefaultPostLen, "POST:abcdef"},
        {"post", "abcdef", 3, "POST:abc"},
        {"Post", nullptr, CHttpData::kDefaultPostLen, "POST:"},
        {"PUT", "abcdef", CHttpData::kDefaultPostLen, "GET:"},
    };
    for (const auto& [verb, body, length, answer] : cases) {
        CHttpData data;
        data.szVerb = verb;
        data.szPostData = body;
        data.dwPostDataLen = length;
        EXPECT_EQ(Get(data, "/echo"), 0) << verb;
        EXPECT_STREQ(data.RespData(), answer) << verb;
    }
}

TEST_F(CCurlHttpTest, ReportsEachOutcomeWithItsCode) {
    // A bound socket that never listens refuses every connection.
    CUniqueFd refusing(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(refusing.Get(), reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(getsockname(refusing.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    struct Case {
        std::string url;  // a path on the test server, or a whole URL
        int rc;
        int retCode;
        const char* body;  // null: no response buffers are held
        uint64_t timeOutMs = 10000;
        bool follow = true;
        bool cancelled = false;
    } cases[] = {
        {"/status/399", 0, 399, "error page"},
        {"/status/404", -3, 404, nullptr},
        {"/status/500", -3, 500, nullptr},
        {"/hop/1", 0, 302, "moved", 10000, false},
        {"/hop/10", 0, 200, "arrived"},
        {"/hop/11", -4, CURLE_TOO_MANY_REDIRECTS, nullptr},
        {"/to/file", -4, CURLE_UNSUPPORTED_PROTOCOL, nullptr},
        {"/to/ftp", -4, CURLE_UNSUPPORTED_PROTOCOL, nullptr},
        {"/to/gopher", -4, CURLE_UNSUPPORTED_PROTOCOL, nullptr},
        {"file:///etc/hostname", -4, CURLE_UNSUPPORTED_PROTOCOL, nullptr},
        {"/stall", -4, CURLE_OPERATION_TIMEDOUT, nullptr, 500},  // the server answers after 3 s
        {"/stall", -4, CURLE_ABORTED_BY_CALLBACK, nullptr, 10000, true, true},
        {"http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/", -4, CURLE_COULDNT_CONNECT,
         nullptr},
    };
    CHttpData data;  // reused: every request drops what the one before kept
    for (const Case& c : cases) {
        std::string url = c.url[0] == '/' ? Url(c.url) : c.url;
        data.szUrl = url.c_str();
        data.dwTimeOut = c.timeOutMs;
        data.bRedirect = c.follow;
        std::atomic<bool> cancel{c.cancelled};
        data.pbCancel = &cancel;
        testing::internal::CaptureStderr();
        EXPECT_EQ(CCurlHttp::Perform(&data), c.rc) << c.url;
        std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(data.retCode, c.retCode) << c.url;
        EXPECT_EQ(data.HasRespData(), c.body != nullptr) << c.url;
        EXPECT_EQ(data.HasRespHead(), c.body != nullptr) << c.url;
        EXPECT_STREQ(data.RespData(), c.body ? c.body : "") << c.url;
        if (c.rc == -4) {
            EXPECT_EQ(printed.rfind("\nlibcurl: (" + std::to_string(c.retCode) + ") ", 0), 0u) << printed;
            EXPECT_TRUE(!printed.empty() && printed.back() == '\n') << printed;
        } else {
            EXPECT_EQ(printed, "") << c.url;
        }
    }
    EXPECT_EQ(CCurlHttp::Perform(nullptr), -1);
    data.szUrl = "";
    EXPECT_EQ(CCurlHttp::Perform(&data), -1);
}

TEST_F(CCurlHttpTest, ResponseBeyondTheCapFailsUnlessTheLargerCapIsChosen) {
    CHttpData capped;
    EXPECT_EQ(Get(capped, "/big/" + std::to_string(9 * kMiB)), -4);
    EXPECT_EQ(capped.retCode, CURLE_WRITE_ERROR);
    CHttpData module;
    module.dwMaxRespLen = CHttpData::kMaxModuleRespLen;
    ASSERT_EQ(Get(module, "/big/" + std::to_string(9 * kMiB)), 0);
    EXPECT_EQ(module.dwDataLen, 9 * kMiB);
    EXPECT_EQ(memcmp(module.RespData(), m_file.data(), 9 * kMiB), 0);
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

TEST_F(CCurlHttpTest, DownloadsResumeFromTheLocalLengthAndKeepTheFileOnError) {
    const std::string full = m_file.substr(0, 5000);
    // "下载进度100%" in GBK, the terminal encoding of the target desktops.
    const std::string kProgressDone = std::string("\xcf\xc2\xd4\xd8\xbd\xf8\xb6\xc8") + "100%\r";
    const std::tuple<const char*, size_t, const char*, bool, int> cases[] = {
        {"partial", 1000, "/big/5000", true, 206},
        {"already complete", 5000, "/big/5000", true, 416},
        {"partial file of another resource", 5000, "/status/404", false, 416},  // 10 bytes there
        {"error page", 0, "/status/404", false, 404},
        {"server error", 0, "/status/500", false, 500},
    };
    for (const auto& [what, local, path, done, status] : cases) {
        std::string url = Url(path), byUrl = m_dir / "url.gz", byRecord = m_dir / "record.gz";
        WriteFile(byUrl, full.substr(0, local));
        WriteFile(byRecord, full.substr(0, local));
        // The url form answers true on success, the record form true on failure.
        testing::internal::CaptureStdout();
        EXPECT_EQ(CCurlHttp::downLoad(url.c_str(), byUrl.c_str()), done) << what;
        std::string shown = testing::internal::GetCapturedStdout();
        CHttpData data;
        data.szUrl = url.c_str();
        EXPECT_EQ(CCurlHttp::downLoad(&data, byRecord.c_str()), !done) << what;
        EXPECT_EQ(data.retCode, status) << what;
        std::string expected = done ? full : full.substr(0, local);
        EXPECT_EQ(ReadFile(byUrl), expected) << what;
        EXPECT_EQ(ReadFile(byRecord), expected) << what;
        EXPECT_EQ(data.dwDataLen, done ? full.size() - local : 0) << what;
        std::string range = local ? "bytes=" + std::to_string(local) + "-" : "";
        auto requests = TakeRequests();
        ASSERT_EQ(requests.size(), 2u) << what;
        for (auto& request : requests) EXPECT_EQ(request.get_header_value("Range"), range) << what;
        EXPECT_TRUE(status != 206 || shown.find(kProgressDone) != std::string::npos) << shown;
    }
    CHttpData noUrl;
    EXPECT_TRUE(CCurlHttp::downLoad(&noUrl, (m_dir / "x").c_str()));
    CHttpData unwritable;
    unwritable.szUrl = "http://127.0.0.1:1/";
    EXPECT_TRUE(CCurlHttp::downLoad(&unwritable, (m_dir / "no/such/dir").c_str()));
    EXPECT_FALSE(CCurlHttp::downLoad("http://127.0.0.1:1/", (m_dir / "no/such/dir").c_str()));
    // A directory has no length to resume from.
    EXPECT_EQ(CCurlHttp::GetLocalFileLenth(m_dir.Path().c_str()), 0);
}

// Not under the fixture: no server threads run while the TLS server is forked.
TEST(CCurlHttpsTest, VerifyPeerRefusesACertificateNobodyVouchesFor) {
    TempDir dir;
    std::string cert = dir / "cert.pem", key = dir / "key.pem";
    // The name matches, so only the unvouched chain can fail the check.
    std::string made;
    if (ChildProcess::Run(
            {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-addext",
             "subjectAltName=IP:127.0.0.1", "-days", "1", "-keyout", key, "-out", cert},
            std::chrono::milliseconds(30000), &made) != 0)
        GTEST_SKIP() << "needs the openssl program: " << made;
    CTlsServer server;
    int port = server.Start(cert, key);
    ASSERT_GT(port, 0);
    std::string url = "https://127.0.0.1:" + std::to_string(port) + "/";
    CHttpData lenient;  // portals keep working with their own certificates
    lenient.SetUrl(url.c_str());
    EXPECT_EQ(CCurlHttp::Perform(&lenient), 0);
    EXPECT_EQ(lenient.retCode, 200);
    CHttpData strict;
    strict.SetUrl(url.c_str());
    strict.bVerifyPeer = true;
    EXPECT_EQ(CCurlHttp::Perform(&strict), -4);
    EXPECT_EQ(strict.retCode, static_cast<int>(CURLE_PEER_FAILED_VERIFICATION));
    // Downloads (update packages) always verify.
    CHttpData download;
    download.SetUrl(url.c_str());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(CCurlHttp::downLoad(&download, (dir / "package").c_str()));
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(download.retCode, static_cast<int>(CURLE_PEER_FAILED_VERIFICATION));
}
