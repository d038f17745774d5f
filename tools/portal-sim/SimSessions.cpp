#include "SimSessions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "SimJson.h"

namespace {
int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
}  // namespace

std::string CSimSessions::IssueTicket(const std::string& clientId, const std::string& fixedTicket) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::string ticket = fixedTicket;
    if (ticket.empty()) {
        char text[32];
        std::snprintf(text, sizeof(text), "TK%08lX", m_nextTicket++);
        ticket = text;
    }
    Session& session = m_sessions[clientId];
    session.clientId = clientId;
    session.tickets.push_back(ticket);
    return ticket;
}

bool CSimSessions::HasTicket(const std::string& clientId, const std::string& ticket) const {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sessions.find(clientId);
    if (it == m_sessions.end()) return false;
    const auto& tickets = it->second.tickets;
    return std::find(tickets.begin(), tickets.end(), ticket) != tickets.end();
}

void CSimSessions::NoteIdentity(const std::string& clientId, const std::string& hostName,
                                const std::string& ipv4, const std::string& mac) {
    std::lock_guard<std::mutex> guard(m_lock);
    Session& session = m_sessions[clientId];
    session.clientId = clientId;
    session.hostName = hostName;
    session.ipv4 = ipv4;
    session.mac = mac;
}

void CSimSessions::Login(const std::string& clientId, const std::string& account) {
    std::lock_guard<std::mutex> guard(m_lock);
    Session& session = m_sessions[clientId];
    session.clientId = clientId;
    session.account = account;
    session.loggedIn = true;
    session.logins++;
    session.loginTimeMs = NowMs();
}

bool CSimSessions::IsLoggedIn(const std::string& clientId, const std::string& ticket) const {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sessions.find(clientId);
    if (it == m_sessions.end() || !it->second.loggedIn) return false;
    const auto& tickets = it->second.tickets;
    return std::find(tickets.begin(), tickets.end(), ticket) != tickets.end();
}

void CSimSessions::CountStateQuery(const std::string& clientId) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sessions.find(clientId);
    if (it != m_sessions.end()) it->second.stateQueries++;
}

bool CSimSessions::Heartbeat(const std::string& clientId, const std::string& ticket,
                             const std::string& shared) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_sessions.find(clientId);
    if (it == m_sessions.end() || !it->second.loggedIn) return false;
    const auto& tickets = it->second.tickets;
    if (std::find(tickets.begin(), tickets.end(), ticket) == tickets.end()) return false;
    it->second.heartbeats++;
    it->second.lastHeartbeatMs = NowMs();
    it->second.lastShared = shared;
    return true;
}

CSimSessions::Session* CSimSessions::FindByTicket(const std::string& ticket) {
    for (auto& [id, session] : m_sessions) {
        if (std::find(session.tickets.begin(), session.tickets.end(), ticket) != session.tickets.end()) {
            return &session;
        }
    }
    return nullptr;
}

bool CSimSessions::Logout(const std::string& clientId, const std::string& ticket, const std::string& reason) {
    std::lock_guard<std::mutex> guard(m_lock);
    Session* owner = FindByTicket(ticket);
    Session& recorder = owner ? *owner : m_sessions[clientId];
    if (!owner) recorder.clientId = clientId;
    recorder.logoutReasons.push_back(reason);
    if (!owner || !owner->loggedIn) return false;
    owner->loggedIn = false;
    return true;
}

std::vector<CSimSessions::Session> CSimSessions::OthersOfAccount(const std::string& clientId) const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<Session> others;
    auto self = m_sessions.find(clientId);
    std::string account = self == m_sessions.end() ? "" : self->second.account;
    for (const auto& [id, session] : m_sessions) {
        if (id != clientId && session.loggedIn && (account.empty() || session.account == account)) {
            others.push_back(session);
        }
    }
    return others;
}

void CSimSessions::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_sessions.clear();
}

std::string CSimSessions::ToJson() const {
    JsonPtr root(cJSON_CreateObject());
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [id, s] : m_sessions) {
        cJSON* obj = cJSON_CreateObject();
        simjson::AddString(obj, "client_id", s.clientId);
        cJSON* tickets = cJSON_AddArrayToObject(obj, "tickets");
        for (const auto& t : s.tickets) cJSON_AddItemToArray(tickets, cJSON_CreateString(t.c_str()));
        simjson::AddString(obj, "ticket", s.tickets.empty() ? "" : s.tickets.back());
        simjson::AddString(obj, "account", s.account);
        cJSON_AddBoolToObject(obj, "logged_in", s.loggedIn);
        cJSON_AddNumberToObject(obj, "logins", s.logins);
        cJSON_AddNumberToObject(obj, "heartbeats", s.heartbeats);
        cJSON_AddNumberToObject(obj, "state_queries", s.stateQueries);
        cJSON_AddNumberToObject(obj, "login_time_ms", static_cast<double>(s.loginTimeMs));
        cJSON_AddNumberToObject(obj, "last_heartbeat_ms", static_cast<double>(s.lastHeartbeatMs));
        simjson::AddString(obj, "last_shared", s.lastShared);
        simjson::AddString(obj, "host_name", s.hostName);
        simjson::AddString(obj, "ipv4", s.ipv4);
        simjson::AddString(obj, "mac", s.mac);
        cJSON* reasons = cJSON_AddArrayToObject(obj, "logout_reasons");
        for (const auto& r : s.logoutReasons) cJSON_AddItemToArray(reasons, cJSON_CreateString(r.c_str()));
        cJSON_AddItemToObject(root.get(), id.c_str(), obj);
    }
    return simjson::Print(root.get());
}
