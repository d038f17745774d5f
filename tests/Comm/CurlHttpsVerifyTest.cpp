// The https verification switch against a loopback TLS server with a
// self-signed certificate (openssl's own test server).
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "CurlGlobal.h"
#include "CurlHttp.h"
#include "HttpData.h"
#include "Subprocess.h"
#include "TempDir.h"
#include "UniqueFd.h"

namespace {

CCurlGlobal g_curlForHttps;

// openssl s_server on 127.0.0.1 with a port of the system's choice.
class CTlsServer {
public:
    // The port from its "ACCEPT 127.0.0.1:PORT" line, read within ten seconds; 0 on failure.
    int Start(const std::string& cert, const std::string& key) {
        int out[2];
        if (pipe(out) != 0) return 0;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(out[1], 1);
            dup2(out[1], 2);
            close(out[0]);
            close(out[1]);
            execlp("openssl", "openssl", "s_server", "-accept", "127.0.0.1:0", "-cert", cert.c_str(), "-key",
                   key.c_str(), "-www", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        m_out.Reset(out[0]);
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

}  // namespace

TEST(CCurlHttpsTest, VerifyPeerRefusesACertificateNobodyVouchesFor) {
    TempDir dir;
    std::string cert = dir / "cert.pem", key = dir / "key.pem";
    ProgramResult made = RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                                     "/CN=localhost", "-days", "1", "-keyout", key, "-out", cert});
    if (!made.started || made.exitCode != 0) GTEST_SKIP() << "needs the openssl program: " << made.output;
    CTlsServer server;
    int port = server.Start(cert, key);
    ASSERT_GT(port, 0);
    std::string url = "https://127.0.0.1:" + std::to_string(port) + "/";

    CHttpData lenient;
    lenient.SetUrl(url.c_str());
    EXPECT_FALSE(lenient.bVerifyPeer);  // portals keep working with their own certificates
    EXPECT_EQ(CCurlHttp::Perform(&lenient), 0);
    EXPECT_EQ(lenient.retCode, 200);

    CHttpData strict;
    strict.SetUrl(url.c_str());
    strict.bVerifyPeer = true;
    EXPECT_EQ(CCurlHttp::Perform(&strict), -4);
    EXPECT_EQ(strict.retCode, static_cast<int>(CURLE_PEER_FAILED_VERIFICATION));
}
