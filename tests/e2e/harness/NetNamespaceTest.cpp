// The namespace helper builds what end-to-end runs need and leaves nothing behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "ChildProcess.h"
#include "NetNamespace.h"

namespace {
bool DirExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string RunInside(const NetNamespace& ns, const std::vector<std::string>& argv) {
    std::string out;
    ChildProcess::Run(ns.Wrap(argv), std::chrono::milliseconds(10000), &out);
    return out;
}
}  // namespace

TEST(NetNamespaceTest, BuildsTheClientSideWithRouteResolverAndNoForwarding) {
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    std::string name;
    {
        NetNamespace ns;
        std::string error;
        ASSERT_TRUE(ns.Create(&error)) << error;
        name = ns.Name();
        EXPECT_TRUE(NetNamespace::Exists(name));
        EXPECT_NE(RunInside(ns, {"ip", "route", "show", "default"})
                      .find(std::string("default via ") + NetNamespace::ServerAddress() + " dev " +
                            NetNamespace::ClientInterface()),
                  std::string::npos);
        EXPECT_EQ(RunInside(ns, {"cat", "/proc/sys/net/ipv4/ip_forward"}), "0\n");
        // Programs run inside see the namespace's own resolver file.
        ASSERT_TRUE(ns.WriteResolvConf("nameserver 10.77.0.53\n"));
        EXPECT_EQ(RunInside(ns, {"cat", "/etc/resolv.conf"}), "nameserver 10.77.0.53\n");
        EXPECT_NE(RunInside(ns, {"ip", "-o", "addr", "show", "dev", NetNamespace::ClientInterface()})
                      .find(NetNamespace::ClientAddress()),
                  std::string::npos);
    }
    EXPECT_FALSE(NetNamespace::Exists(name));
    EXPECT_FALSE(DirExists("/etc/netns/" + name));
}

TEST(NetNamespaceTest, NamesAreUniqueWithinAProcess) {
    NetNamespace a, b;
    EXPECT_NE(a.Name(), b.Name());
    EXPECT_EQ(a.Name().rfind(std::string(NetNamespace::kPrefix) + std::to_string(getpid()) + "x", 0), 0u);
}

TEST(NetNamespaceTest, UnwindingAFailedTestRemovesTheNamespace) {
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    std::string name;
    try {
        NetNamespace ns;
        ASSERT_TRUE(ns.Create(nullptr));
        name = ns.Name();
        throw std::runtime_error("a failing test leaves its scope");
    } catch (const std::runtime_error&) {
    }
    ASSERT_FALSE(name.empty());
    EXPECT_FALSE(NetNamespace::Exists(name));
    EXPECT_FALSE(DirExists("/etc/netns/" + name));
}

TEST(NetNamespaceTest, LeftoversOfACrashedTestAreRemovedLater) {
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        struct rlimit noCore = {0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        NetNamespace ns;
        if (ns.Create(nullptr)) (void)!write(channel[1], ns.Name().c_str(), ns.Name().size());
        close(channel[1]);
        abort();  // no destructor runs
    }
    close(channel[1]);
    char buffer[64] = {0};
    ssize_t n = read(channel[0], buffer, sizeof(buffer) - 1);
    close(channel[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    ASSERT_GT(n, 0);
    std::string name(buffer, static_cast<size_t>(n));
    ASSERT_TRUE(NetNamespace::Exists(name));
    ASSERT_TRUE(DirExists("/etc/netns/" + name));

    EXPECT_GE(NetNamespace::RemoveStale(), 1);
    EXPECT_FALSE(NetNamespace::Exists(name));
    EXPECT_FALSE(DirExists("/etc/netns/" + name));
}
