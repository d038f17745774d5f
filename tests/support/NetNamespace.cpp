#include "NetNamespace.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"

namespace {
constexpr std::chrono::milliseconds kIpTimeout(10000);

int Ip(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"ip"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ChildProcess::Run(argv, kIpTimeout);
}

constexpr char kPrefix[] = "vlnt";
constexpr char kClientInterface[] = "vlnc0";
constexpr char kServerInterface[] = "vlns0";
std::atomic<int> g_counter{0};
}  // namespace

bool NetNamespace::CanCreate() {
    std::string version;
    return geteuid() == 0 && ChildProcess::Run({"ip", "-V"}, kIpTimeout, &version) == 0;
}

NetNamespace::NetNamespace() {
    m_name = std::string(kPrefix) + std::to_string(getpid()) + "x" + std::to_string(g_counter++);
}

bool NetNamespace::Build(bool withLink, std::string* error) {
    if (!CanCreate()) {
        if (error) *error = "needs root and the ip tool";
        return false;
    }
    RemoveStale();
    auto fail = [&](const std::string& step) {
        if (error) *error = "ip " + step + " failed for " + m_name;
        Remove();
        return false;
    };
    if (Ip({"netns", "add", m_name}) != 0) return fail("netns add");
    m_created = true;
    // The resolver file exists before anything runs inside, so programs
    // there never see the host's.
    std::error_code ec;
    std::filesystem::create_directories("/etc/netns/" + m_name, ec);
    if (ec || !WriteResolvConf("nameserver " + std::string(ServerAddress()) + "\n"))
        return fail("resolv.conf");
    std::vector<std::vector<std::string>> steps = {{"-n", m_name, "link", "set", "lo", "up"}};
    if (withLink) {
        steps.insert(
            steps.end(),
            {{"-n", m_name, "link", "add", kClientInterface, "type", "veth", "peer", "name",
              kServerInterface},
             {"-n", m_name, "addr", "add", std::string(ClientAddress()) + "/24", "dev", kClientInterface},
             {"-n", m_name, "addr", "add", std::string(ServerAddress()) + "/24", "dev", kServerInterface},
             {"-n", m_name, "link", "set", kClientInterface, "up"},
             {"-n", m_name, "link", "set", kServerInterface, "up"},
             {"-n", m_name, "route", "add", "default", "via", ServerAddress(), "dev", kClientInterface}});
    }
    for (const auto& step : steps) {
        if (Ip(step) != 0) return fail(step[2] + " " + step[3]);
    }
    if (ChildProcess::Run(
            Wrap({"sysctl", "-q", "-w", "net.ipv4.ip_forward=0", "net.ipv6.conf.all.forwarding=0"}),
            kIpTimeout) != 0) {
        return fail("sysctl forwarding");
    }
    return true;
}

void NetNamespace::Remove() {
    if (!m_created) return;
    RemoveByName(m_name);
    m_created = false;
}

std::string NetNamespace::ReadResolvConf() const {
    std::ifstream in(ResolvConfPath());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool NetNamespace::WriteResolvConf(const std::string& text) const {
    std::ofstream out(ResolvConfPath(), std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

std::vector<std::string> NetNamespace::Wrap(const std::vector<std::string>& argv) const {
    std::vector<std::string> wrapped = {"ip", "netns", "exec", m_name};
    wrapped.insert(wrapped.end(), argv.begin(), argv.end());
    return wrapped;
}

bool NetNamespace::Exists(const std::string& name) {
    struct stat st;
    return stat(("/var/run/netns/" + name).c_str(), &st) == 0;
}

void NetNamespace::RemoveByName(const std::string& name) {
    // Deleting the namespace takes its veth pair with it.
    if (Exists(name)) Ip({"netns", "delete", name});
    std::error_code ec;
    std::filesystem::remove_all("/etc/netns/" + name, ec);
}

int NetNamespace::RemoveStale() {
    int removed = 0;
    DIR* dir = opendir("/var/run/netns");
    if (!dir) return 0;
    std::vector<std::string> stale;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.rfind(kPrefix, 0) != 0) continue;
        pid_t pid = static_cast<pid_t>(std::atol(name.c_str() + sizeof(kPrefix) - 1));
        if (pid > 0 && kill(pid, 0) != 0 && errno == ESRCH) stale.push_back(name);
    }
    closedir(dir);
    for (const auto& name : stale) {
        RemoveByName(name);
        ++removed;
    }
    return removed;
}
