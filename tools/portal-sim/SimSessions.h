// CSimSessions: what the simulated portal remembers about each client (by
// its Client-ID): tickets handed out, the logged-in account, heartbeats and
// logout reasons. Any thread; one lock guards everything.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

class CSimSessions {
public:
    struct Session {
        std::string clientId;
        std::vector<std::string> tickets;
        std::string account;
        bool loggedIn = false;
        int logins = 0;
        int heartbeats = 0;
        int stateQueries = 0;
        int64_t loginTimeMs = 0;
        int64_t lastHeartbeatMs = 0;
        std::string lastShared;
        std::string hostName;
        std::string ipv4;
        std::string mac;
        std::vector<std::string> logoutReasons;
    };

    // A fresh ticket for the client (fixed text when given).
    std::string IssueTicket(const std::string& clientId, const std::string& fixedTicket);
    bool HasTicket(const std::string& clientId, const std::string& ticket) const;
    void NoteIdentity(const std::string& clientId, const std::string& hostName, const std::string& ipv4,
                      const std::string& mac);
    void Login(const std::string& clientId, const std::string& account);
    bool IsLoggedIn(const std::string& clientId, const std::string& ticket) const;
    void CountStateQuery(const std::string& clientId);
    // False when the ticket's session is not logged in.
    bool Heartbeat(const std::string& clientId, const std::string& ticket, const std::string& shared);
    // Ends the session that owns the ticket; records the reason either way.
    // False when no logged-in session owned it.
    bool Logout(const std::string& clientId, const std::string& ticket, const std::string& reason);
    // Logged-in sessions of an account other than the given client.
    std::vector<Session> OthersOfAccount(const std::string& clientId) const;
    void Clear();
    std::string ToJson() const;

private:
    Session* FindByTicket(const std::string& ticket);
    mutable std::mutex m_lock;
    std::map<std::string, Session> m_sessions;
    long m_nextTicket = 1;
};
