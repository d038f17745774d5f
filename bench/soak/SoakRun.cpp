#include "SoakRun.h"

#include <algorithm>
#include <fstream>
#include <pugixml.hpp>
#include <thread>

#include "INetConn.h"
#include "NetStateCode.h"
#include "SampleSim.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kBin = VELNOR_BIN_DIR;
constexpr const char* kAccount = "alice";
constexpr const char* kPassword = "secret";
constexpr const char* kPortalType = "51";
constexpr const char* kHelper = "VelnorAlgoHost";
// The service gives a heartbeat or a logout this long before the transfer fails.
constexpr milliseconds kHeartbeatTimeout(10000);
constexpr seconds kStartLimit(60);
constexpr seconds kRecoveryLimit(120);
constexpr milliseconds kAttachLimit(10000);
constexpr milliseconds kSlice(250);
// Garbage answers in a row: more than the session tolerates failures.
constexpr int kGarbageAnswers = 3;

}  // namespace

// What starts the exchange that meets the fault.
enum class Trigger {
    kHeartbeat,  // the next heartbeat
    kRelogin,    // the user logs out; the next check, ticket and login
    kLogout,     // the user's logout
};

struct FaultPlan {
    FaultKind kind;
    const char* endpoint;  // the simulator's exchange
    Trigger trigger;
    std::string fault;  // empty: built by the run
    int endState;       // -1: the session must be kept
    int endCode;
    std::chrono::seconds limit;
};

namespace {

const FaultPlan& PlanFor(FaultKind kind) {
    using T = Trigger;
    // Each exchange sends a request at most twice.
    static const std::string kBothAttempts503 = R"({"http_status":503,"times":2})";
    static const std::string kPastTimeout =
        "\"delay_ms\":" + std::to_string(kHeartbeatTimeout.count() + 1000);
    static const FaultPlan plans[] = {
        {FaultKind::kServerError, "heartbeat", T::kHeartbeat, R"({"http_status":503})",
         INetConn::ES_CONNECTFAIL, kCodeHeartbeatFailed, seconds(30)},
        {FaultKind::kDrop, "heartbeat", T::kHeartbeat, R"({"drop":true})", INetConn::ES_CONNECTFAIL,
         kCodeHeartbeatFailed, seconds(30)},
        // Past the time-out, on two heartbeats of two attempts each.
        {FaultKind::kStall, "heartbeat", T::kHeartbeat, "{" + kPastTimeout + "}", INetConn::ES_CONNECTFAIL,
         kCodeHeartbeatFailed, seconds(90)},
        {FaultKind::kGarbage, "heartbeat", T::kHeartbeat, "", -1, 0, seconds(30)},
        {FaultKind::kRedirect, "heartbeat", T::kHeartbeat, R"({"intercept":"302"})", INetConn::ES_CONNECTFAIL,
         kCodeHeartbeatFailed, seconds(30)},
        {FaultKind::kExpired, "heartbeat", T::kHeartbeat, R"({"error_code":14,"times":1})",
         INetConn::ES_DISCONNECTED, kCodeSessionEnded, seconds(30)},
        {FaultKind::kModuleUpdate, "heartbeat", T::kHeartbeat, "", -1, 0, seconds(30)},
        {FaultKind::kTicketServerError, "ticket", T::kRelogin, kBothAttempts503, INetConn::ES_PRECONNECTFAIL,
         kCodeTicketHttpError, seconds(60)},
        {FaultKind::kLoginServerError, "login", T::kRelogin, kBothAttempts503, INetConn::ES_CONNECTFAIL,
         kCodeLoginHttpError, seconds(60)},
        {FaultKind::kLoginRefused, "login", T::kRelogin, R"({"error_code":1,"times":1})",
         INetConn::ES_CONNECTFAIL, kCodePortalBase + 1, seconds(60)},
        // One attempt fails, the second logs out.
        {FaultKind::kLogoutServerError, "logout", T::kLogout, R"({"http_status":503,"times":1})",
         INetConn::ES_DISCONNECTED, kCodeDone, seconds(30)},
        {FaultKind::kLogoutStall, "logout", T::kLogout, "{" + kPastTimeout + ",\"times\":1}",
         INetConn::ES_DISCONNECTED, kCodeDone, seconds(60)},
    };
    static_assert(std::size(plans) == static_cast<size_t>(FaultKind::kCount), "a plan for every kind");
    return plans[static_cast<int>(kind)];
}

bool IsState(const Envelope& e) { return e.opc == "NetStateMessageResp"; }
bool IsFailure(int state) {
    return state == INetConn::ES_CONNECTFAIL || state == INetConn::ES_PRECONNECTFAIL ||
           state == INetConn::ES_DISCONNECTFAIL;
}
// Any state message but connected: the session has ended or is ending.
bool LeavesConnected(const Envelope& e) { return IsState(e) && e.NewState() != INetConn::ES_CONNECTED; }

std::string Describe(const Envelope& e) {
    return e.Param("oldState") + ">" + e.Param("newState") + "/" + e.Param("ErrorCode");
}

double SecondsSince(SoakRun::Clock::time_point start) {
    return std::chrono::duration<double>(SoakRun::Clock::now() - start).count();
}

}  // namespace

std::atomic<bool> SoakRun::s_stop{false};

SoakRun::SoakRun(Options options) : m_options(std::move(options)), m_random(m_options.seed) {}

SoakRun::~SoakRun() {
    m_client.reset();
    m_helperSampler.reset();
    m_sampler.reset();
}

bool SoakRun::PackSecondModule(std::string* error) {
    m_moduleA = kBin + "/zxmAlogic.zxm";
    m_moduleB = m_options.workDir + "/moduleB.zxm";
    m_algoA = m_algoInUse = VELNOR_SAMPLE_ALGO_ID;
    m_algoB = "50a4c0de-5eed-4b0b-9e0d-00000000000b";
    std::string output;
    int rc =
        ChildProcess::Run({kBin + "/zxm-pack", "pack", "--key-id", VELNOR_SAMPLE_KEY_ID, "--key",
                           VELNOR_SAMPLE_KEY, "--algo-id", m_algoB, kBin + "/libsample_algo.so", m_moduleB},
                          milliseconds(30000), &output);
    if (rc != 0 && error) *error = "zxm-pack failed: " + output;
    return rc == 0;
}

bool SoakRun::SetUp(std::string* error) {
    pugi::xml_document codes;
    if (!codes.load_file(VELNOR_SOURCE_DIR "/assets/conf/code.xml")) {
        *error = "cannot read assets/conf/code.xml";
        return false;
    }
    for (pugi::xml_node err : codes.child("code").children("err")) {
        std::string id = err.attribute("id").value();
        m_catalogue.insert(id.substr(0, id.find('.')));
    }
    if (!NetNamespace::CanCreate()) {
        *error = "needs root and the ip tool: the run builds a network namespace of its own";
        return false;
    }
    if (!m_ns.Create(error) || !PackSecondModule(error)) return false;

    // Bytes no module decodes, answered as if the portal had said yes.
    m_garbageFile = m_options.workDir + "/garbage.bin";
    std::string garbage(700, '\0');
    for (char& c : garbage) c = static_cast<char>(m_random() & 0xff);
    std::ofstream(m_garbageFile, std::ios::binary) << garbage;

    std::string so = kBin + "/libsample_algo.so";
    std::string scenario = R"({"module":{"zxm":")" + m_moduleA + R"("},"modules":[{"zxm":")" + m_moduleB +
                           R"(","so":")" + so + R"("}],"accounts":{")" + kAccount + R"(":")" + kPassword +
                           R"("},"answers":{"interval":1,"keep_retry":1}})";
    m_sim = std::make_unique<PortalSimProcess>(
        SampleSimOptions(m_options.workDir + "/sim", m_ns.Name(), scenario));
    if (!m_sim->Start(error)) return false;
    m_control = std::make_unique<SimControl>(m_sim->ControlUrl());

    m_install = std::make_unique<InstallDir>(m_options.workDir + "/velnor");
    InstallDir::Options install;
    install.redirect = m_sim->ProbeUrl();
    install.moduleFile = m_moduleA;
    if (!m_install->Prepare(install, error)) return false;
    ChildProcess::Options child;
    child.argv = m_ns.Wrap({"./VelnorSvr"});
    child.cwd = m_install->Path();
    child.outputFile = m_options.workDir + "/service.out";
    if (!m_service.Start(child, error)) return false;
    if (!Attach(true) || Recover(kStartLimit) < 0) {
        *error = "the service did not log in; see " + m_options.workDir;
        return false;
    }
    pid_t service = m_service.Pid();
    m_sampler = std::make_unique<ProcSampler>([service] { return service; });
    // The service starts it on first use (the login above) and again after a failed call.
    m_helperSampler =
        std::make_unique<ProcSampler>([service] { return ProcSampler::ChildNamed(service, kHelper); });
    return true;
}

bool SoakRun::Attach(bool firstStart) {
    m_client = std::make_unique<FakeClient>(m_install->Path());
    m_audited = 0;
    std::string error;
    if (!m_client->Open(kAttachLimit, &error)) return false;
    if (firstStart) return m_client->Handshake(kAttachLimit);
    // A running service answers a new client with its state replayed.
    return m_client->Send("ClientStart", "ClientStart") &&
           WaitState([](const Envelope& e) { return IsState(e) && e.NewState() == INetConn::ES_CONNECTED; },
                     kAttachLimit);
}

void SoakRun::Detach() { m_client.reset(); }

void SoakRun::DetachAndAttach(SoakReport& report) {
    Audit(report);
    Detach();
    auto away = milliseconds(std::uniform_int_distribution<int>(500, 3000)(m_random));
    for (auto until = Clock::now() + away; Clock::now() < until && !s_stop;)
        std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, until - Clock::now()));
    bool ok = Attach(false);
    report.AddAttach(ok);
    if (!ok && !s_stop) Recover(kRecoveryLimit);
}

std::optional<Envelope> SoakRun::WaitState(const std::function<bool(const Envelope&)>& match,
                                           milliseconds limit) {
    auto deadline = Clock::now() + limit;
    for (;;) {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        auto slice = std::clamp(left, milliseconds(0), kSlice);
        auto start = Clock::now();
        if (auto e = m_client->WaitFor(match, slice)) return e;
        if (s_stop || left <= milliseconds(0)) return std::nullopt;
        // Back before its time without a match: the pipe has ended.
        if (Clock::now() - start < slice / 2) return std::nullopt;
    }
}

void SoakRun::Drain() {
    while (m_client->WaitFor([](const Envelope&) { return true; }, milliseconds(0))) {
    }
}

void SoakRun::Audit(SoakReport& report) {
    if (!m_client) return;
    std::vector<Envelope> received = m_client->Received();
    long states = 0;
    for (size_t i = m_audited; i < received.size(); ++i) {
        if (!IsState(received[i])) continue;
        ++states;
        long code = received[i].ErrorCode();
        // The portal's own Error-Code n, -1 (no header) included.
        bool portalOwn = code >= kCodePortalBase - 1 && code < kCodePortalBase + 10000;
        if (!portalOwn && !m_catalogue.count(std::to_string(code)))
            report.AddUncatalogued(Describe(received[i]));
    }
    m_audited = received.size();
    report.AddStateMessages(states);
}

double SoakRun::Recover(seconds limit, FirstFailure* failure) {
    auto start = Clock::now();
    auto deadline = start + limit;
    // One login at a time, as a user gives: another only after this one failed.
    bool loginSent = false;
    while (auto e = WaitState(IsState, std::chrono::duration_cast<milliseconds>(deadline - Clock::now()))) {
        int state = e->NewState();
        if (failure && !failure->message && IsFailure(state)) {
            failure->message = e;
            failure->afterSeconds = SecondsSince(start);
        }
        if (state == INetConn::ES_CONNECTED && e->Param("type") == kPortalType) return SecondsSince(start);
        // What the desktop client does: check again after an end, log in when ready.
        if (state == INetConn::ES_DISCONNECTED || state == INetConn::ES_PRECONNECTFAIL) {
            m_client->Send("CheckEnv", "CheckEnv");
            loginSent = false;
        }
        if (state == INetConn::ES_CONNECTFAIL) loginSent = false;
        if (state == INetConn::ES_PRECONNECTED && !loginSent)
            loginSent = m_client->SendLogin(kAccount, kPassword);
    }
    return -1;
}

void SoakRun::Quiet(milliseconds spell, SoakReport& report) {
    if (auto e = WaitState(LeavesConnected, spell)) {
        report.AddUnprovoked(Describe(*e));
        Recover(kRecoveryLimit);
    }
}

long SoakRun::LatestHeartbeatSeq() {
    for (const auto& r : m_control->Since("heartbeat", m_heartbeatSeq))
        m_heartbeatSeq = std::max(m_heartbeatSeq, r.seq);
    return m_heartbeatSeq;
}

FaultOutcome SoakRun::Inject(FaultKind kind) {
    const FaultPlan& plan = PlanFor(kind);
    FaultOutcome outcome;
    outcome.kind = kind;
    Drain();
    if (plan.endState < 0) {
        WaitSessionKept(kind, outcome);
        return outcome;
    }
    if (plan.trigger == Trigger::kRelogin) {
        InjectAtRelogin(plan, outcome);
        return outcome;
    }
    auto start = Clock::now();
    m_control->SetFault(plan.endpoint, plan.fault);
    if (plan.trigger == Trigger::kLogout) m_client->SendLogout();
    auto e = WaitState(LeavesConnected, plan.limit);
    m_control->ClearFault(plan.endpoint);
    outcome.outcomeSeconds = SecondsSince(start);
    outcome.endedSession = true;
    if (!e) {
        outcome.detail = "no state message within " + std::to_string(plan.limit.count()) + " s";
        // The session may still be up; nothing to recover from then.
        outcome.endedSession = false;
        return outcome;
    }
    Judge(plan, *e, outcome);
    // The user's logout gets no new ticket by itself: the client checks again.
    if (plan.trigger == Trigger::kLogout) m_client->Send("CheckEnv", "CheckEnv");
    outcome.recoverySeconds = Recover(kRecoveryLimit);
    outcome.recovered = outcome.recoverySeconds >= 0;
    return outcome;
}

void SoakRun::Judge(const FaultPlan& plan, const Envelope& e, FaultOutcome& outcome) {
    outcome.detail = Describe(e);
    outcome.ok = e.NewState() == plan.endState && e.ErrorCode() == plan.endCode;
    if (!outcome.ok)
        outcome.detail += ", expected " + std::to_string(plan.endState) + "/" + std::to_string(plan.endCode);
}

void SoakRun::InjectAtRelogin(const FaultPlan& plan, FaultOutcome& outcome) {
    m_client->SendLogout();
    auto out = WaitState(LeavesConnected, seconds(30));
    if (!out || out->NewState() != INetConn::ES_DISCONNECTED) {
        outcome.detail =
            "the logout before the fault: " + (out ? Describe(*out) : std::string("no state message"));
        return;
    }
    outcome.endedSession = true;
    m_control->SetFault(plan.endpoint, plan.fault);
    m_client->Send("CheckEnv", "CheckEnv");
    FirstFailure failure;
    double connected = Recover(plan.limit + kRecoveryLimit, &failure);
    m_control->ClearFault(plan.endpoint);
    outcome.recovered = connected >= 0;
    if (!failure.message) {
        outcome.detail = connected >= 0 ? "connected again without the fault's message" : "no state message";
        outcome.recoverySeconds = connected;
        return;
    }
    outcome.outcomeSeconds = failure.afterSeconds;
    Judge(plan, *failure.message, outcome);
    if (outcome.outcomeSeconds > plan.limit.count()) {
        outcome.ok = false;
        outcome.detail += ", later than " + std::to_string(plan.limit.count()) + " s";
    }
    outcome.recoverySeconds = connected >= 0 ? connected - outcome.outcomeSeconds : -1;
}

bool SoakRun::WaitSessionKept(FaultKind kind, FaultOutcome& outcome) {
    const FaultPlan& plan = PlanFor(kind);
    long since = LatestHeartbeatSeq();
    auto start = Clock::now();
    std::string algo = m_algoInUse == m_algoA ? m_algoB : m_algoA;
    if (kind == FaultKind::kModuleUpdate) {
        // Requests under the other identifier are answered with the new module.
        m_control->Merge("{\"algo_id\":\"" + algo + "\"}");
        m_algoInUse = algo;
    } else {
        m_control->SetFault(plan.endpoint, "{\"error_code\":0,\"module_file\":\"" + m_garbageFile +
                                               "\",\"times\":" + std::to_string(kGarbageAnswers) + "}");
    }
    auto kept = [&] {
        int faulted = 0;
        for (const auto& r : m_control->Since("heartbeat", since)) {
            if (kind == FaultKind::kModuleUpdate && r.algoId == algo && r.errorCode == 0) return true;
            if (kind == FaultKind::kGarbage && r.faulted) ++faulted;
            if (kind == FaultKind::kGarbage && faulted == kGarbageAnswers && !r.faulted && r.errorCode == 0)
                return true;
        }
        return false;
    };
    auto deadline = start + plan.limit;
    while (!s_stop && Clock::now() < deadline) {
        if (auto e = WaitState(LeavesConnected, milliseconds(0))) {
            outcome.detail = "the session ended: " + Describe(*e);
            outcome.endedSession = true;
            outcome.recoverySeconds = Recover(kRecoveryLimit);
            outcome.recovered = outcome.recoverySeconds >= 0;
            m_control->ClearFault("heartbeat");
            return false;
        }
        if (kept()) {
            outcome.ok = true;
            outcome.outcomeSeconds = SecondsSince(start);
            outcome.detail = "kept";
            return true;
        }
        // Sleeps inside the simulator until the next heartbeat arrives.
        m_control->WaitCount("heartbeat", m_control->Count("heartbeat") + 1, milliseconds(1500));
    }
    m_control->ClearFault("heartbeat");
    outcome.detail = "no answered heartbeat within " + std::to_string(plan.limit.count()) + " s";
    return false;
}

bool SoakRun::Run(SoakReport& report, std::string* error) {
    if (!SetUp(error)) return false;
    auto begin = Clock::now();
    m_end = begin + std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(m_options.minutes * 60));
    std::uniform_int_distribution<int> quiet(1000, 4000), kind(0, static_cast<int>(FaultKind::kCount) - 1);
    std::uniform_real_distribution<double> chance(0, 1);
    while (!Stopped()) {
        Quiet(milliseconds(quiet(m_random)), report);
        if (Stopped()) break;
        if (chance(m_random) < 0.25)
            DetachAndAttach(report);
        else if (FaultOutcome outcome = Inject(static_cast<FaultKind>(kind(m_random))); !s_stop)
            report.AddFault(outcome);  // one cut short by a stop proves nothing
    }
    if (s_stop) report.SetInterrupted();
    Audit(report);
    auto finish = Clock::now();
    m_sampler->Stop();
    m_helperSampler->Stop();
    auto window = std::min<Clock::duration>(seconds(60), (finish - begin) / 3);
    auto growth = [&](const ProcSampler& sampler) {
        SoakReport::Growth g;
        g.first = sampler.Window(begin, begin + window, nullptr);
        g.last = sampler.Window(finish - window, finish + seconds(1), nullptr);
        g.processes = sampler.Pids().size();
        return g;
    };
    report.SetGrowth(growth(*m_sampler), growth(*m_helperSampler),
                     std::chrono::duration<double>(window).count());
    SimControl::Totals totals = m_control->SessionTotals();
    report.SetTotals(totals.logins, m_control->Count("login"), totals.heartbeats);
    return true;
}
