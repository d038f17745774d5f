// NetNamespace: a network namespace for one test, named uniquely (pid and a
// counter), with loopback up, forwarding off and its own resolv.conf under
// /etc/netns/<name>/. Create() adds a veth pair with both ends inside: the
// client end with ClientAddress() and a default route via the server end's
// ServerAddress(); CreateEmpty() leaves the links to the test. Needs root and
// the ip tool; without them both fail and say so. Removed with everything it
// made by Remove() or the destructor; RemoveStale() clears what crashed tests
// of dead processes left behind. One test thread owns an instance.
#pragma once

#include <string>
#include <vector>

class NetNamespace {
public:
    // Root and the ip tool: what Create needs.
    static bool CanCreate();
    NetNamespace();
    ~NetNamespace() { Remove(); }
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    bool Create(std::string* error) { return Build(true, error); }
    bool CreateEmpty(std::string* error) { return Build(false, error); }

    const std::string& Name() const { return m_name; }
    static const char* ClientAddress() { return "10.77.0.2"; }
    static const char* ServerAddress() { return "10.77.0.1"; }
    // The file that replaces /etc/resolv.conf for programs run inside.
    std::string ReadResolvConf() const;
    bool WriteResolvConf(const std::string& text) const;
    // argv to run a program inside: ip netns exec <name> ...
    std::vector<std::string> Wrap(const std::vector<std::string>& argv) const;

    static bool Exists(const std::string& name);
    // Removes namespaces of ours whose creating process is gone; returns how many.
    static int RemoveStale();

private:
    bool Build(bool withLink, std::string* error);
    // Idempotent; also removes /etc/netns/<name>.
    void Remove();
    static void RemoveByName(const std::string& name);
    std::string ResolvConfPath() const { return "/etc/netns/" + m_name + "/resolv.conf"; }

    std::string m_name;
    bool m_created = false;
};
