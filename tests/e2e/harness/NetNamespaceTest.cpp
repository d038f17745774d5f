// The namespace helper builds what end-to-end runs need and leaves nothing
// behind, whether a test fails or its process dies.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "ChildProcess.h"
#include "NetNamespace.h"

namespace {
std::string RunInside(const NetNamespace& ns, const std::vector<std::string>& argv) {
    std::string out;
    ChildProcess::Run(ns.Wrap(argv), std::chrono::milliseconds(10000), &out);
    return out;
}

void ExpectGone(const std::string& name) {
    EXPECT_FALSE(NetNamespace::Exists(name));
    EXPECT_FALSE(std::filesystem::exists("/etc/netns/" + name));
}
}  // namespace

TEST(NetNamespaceTest, ForwardingIsOffInsideAndAFailingTestRemovesEverything) {
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    std::string name;
    try {
        NetNamespace ns;
        std::string error;
        ASSERT_TRUE(ns.Create(&error)) << error;
        name = ns.Name();
        EXPECT_NE(RunInside(ns, {"ip", "route", "show", "default"})
                      .find(std::string("default via ") + NetNamespace::ServerAddress()),
                  std::string::npos);
        EXPECT_EQ(RunInside(ns, {"cat", "/proc/sys/net/ipv4/ip_forward"}), "0\n");
        ASSERT_TRUE(ns.WriteResolvConf("nameserver 10.77.0.53\n"));
        EXPECT_EQ(RunInside(ns, {"cat", "/etc/resolv.conf"}), "nameserver 10.77.0.53\n");
        throw std::runtime_error("a failing test leaves its scope");
    } catch (const std::runtime_error&) {
    }
    ASSERT_FALSE(name.empty());
    ExpectGone(name);
}

TEST(NetNamespaceTest, LeftoversOfACrashedTestAreRemovedLater) {
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        NetNamespace ns;
        if (ns.Create(nullptr)) (void)!write(channel[1], ns.Name().c_str(), ns.Name().size());
        abort();  // no destructor runs
    }
    close(channel[1]);
    char buffer[64] = {0};
    ssize_t n = read(channel[0], buffer, sizeof(buffer) - 1);
    close(channel[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_GT(n, 0);
    std::string name(buffer, static_cast<size_t>(n));
    ASSERT_TRUE(NetNamespace::Exists(name));
    EXPECT_GE(NetNamespace::RemoveStale(), 1);
    ExpectGone(name);
}
