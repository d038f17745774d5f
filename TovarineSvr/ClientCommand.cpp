#include "ClientCommand.h"

#include <unistd.h>

#include <cctype>
#include <iostream>
#include <string>

#include "Envelope.h"
#include "IConsolePortal.h"
#include "INetConn.h"
#include "XMLOpt.h"

namespace {

// Other threads (the portal's work thread among them) are still running, so
// the process ends without running destructors under their feet.
void EndProcess(int status) {
    fflush(nullptr);
    _exit(status);
}

// The sub code is the portal's header text: on a terminal its control
// characters could move the cursor, rewrite the title or fake a line.
std::string SubCode(CXMLOpt& message) {
    std::string text = message.GetValue("P.subErrCode").c_str();
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

}  // namespace

CClientCommand* CClientCommand::GetInst() {
    // Thread-safe first use: the hub may post from any thread.
    static CClientCommand* instance = new CClientCommand();
    return instance;
}

CClientCommand::CClientCommand() : CClientCommand(std::cin, stdout, EndProcess) {}

CClientCommand::CClientCommand(std::istream& in, FILE* out, std::function<void(int)> exitProcess)
    : m_in(in), m_pOut(out), m_exit(std::move(exitProcess)) {}

CClientCommand::~CClientCommand() {
    StopMsgEngine();
    JoinPrompt();
}

void CClientCommand::JoinPrompt() {
    if (m_prompt.joinable()) m_prompt.join();
}

void CClientCommand::SetUserInfo(const char* account, const char* password) {
    m_strAccount = account ? account : "";
    m_strPassword = password ? password : "";
}

void CClientCommand::GetUserInfo(CAutoString& account, CAutoString& password) {
    account = m_strAccount;
    password = m_strPassword;
}

void CClientCommand::Start() {
    StartMsgEngine();
    if (m_pPortal) m_pPortal->ClientStart();
}

void CClientCommand::DoMessage(CAutoString message) {
    CXMLOpt document(message);
    DefaultDeal(document);
}

void CClientCommand::DefaultDeal(CXMLOpt& message) {
    if (m_bEnded) return;  // the process is on its way out
    CAutoString opcode = message.GetValue("OpC");
    if (opcode == "NetStateMessageResp")
        DealNetStateMessage(message);
    else if (opcode == "ClientStartComplete")
        StartComplete(message);
}

void CClientCommand::StartComplete(CXMLOpt&) {
    if (m_pPortal) m_pPortal->CheckNetStatus(0);
}

void CClientCommand::DealNetStateMessage(CXMLOpt& message) {
    int state = message.GetIntValue("P.newState");
    if (m_bPromptShown && (state == INetConn::ES_CONNECTFAIL || state == INetConn::ES_DISCONNECTED)) {
        DealSessionEnd(message);
        return;
    }
    switch (state) {
        case INetConn::ES_PRECONNECTED:
            DealPreConnectedMsg(message);
            break;
        case INetConn::ES_PRECONNECTFAIL:
            DealPreConnectFailMsg(message);
            break;
        case INetConn::ES_CONNECTED:
            DealConnectedMsg(message);
            break;
        case INetConn::ES_CONNECTFAIL:
            DealConnectFailMsg(message);
            break;
        case INetConn::ES_DISCONNECTED:
            End(kExitDone);
            break;
        default:
            break;
    }
}

void CClientCommand::DealPreConnectedMsg(CXMLOpt&) {
    if (m_bLoginStarted.exchange(true)) return;
    if (m_pPortal) m_pPortal->Login(LoginEnvelope("client", "Portal", m_strAccount, m_strPassword));
}

void CClientCommand::DealPreConnectFailMsg(CXMLOpt& message) {
    int code = message.GetIntValue("P.ErrorCode");
    CAutoString line;
    line.Format("Init environment fail,Please restart the program,the error is %d, subcode is %s\n", code,
                SubCode(message).c_str());
    Print(line);
    End(kExitPrepareFailed);
}

void CClientCommand::DealConnectedMsg(CXMLOpt&) {
    if (m_bPromptShown.exchange(true)) return;
    Print("If you want go to offline, Please enter [y]:\n");
    m_prompt = std::thread(&CClientCommand::ReadPrompt, this);
}

void CClientCommand::ReadPrompt() {
    std::string word;
    // The end of the input is no answer: without a terminal the session
    // simply stays on line.
    if (!ReadWord(m_in, word)) return;
    m_bLogoutAsked = true;
    if (m_pPortal) m_pPortal->Logout("1");
}

void CClientCommand::DealSessionEnd(CXMLOpt& message) {
    bool asked = m_bLogoutAsked;
    int state = message.GetIntValue("P.newState");
    if (!asked || state == INetConn::ES_CONNECTFAIL) {
        CAutoString line;
        line.Format("session ended, the error is %d, subcode is %s\n", message.GetIntValue("P.ErrorCode"),
                    SubCode(message).c_str());
        Print(line);
    }
    End(asked ? kExitDone : kExitSessionEnded);
}

void CClientCommand::DealConnectFailMsg(CXMLOpt& message) {
    int code = message.GetIntValue("P.ErrorCode");
    CAutoString line;
    line.Format("login fail, the error is %d, subcode is %s\n", code, SubCode(message).c_str());
    Print(line);
    End(kExitLoginFailed);
}

bool CClientCommand::ReadWord(std::istream& in, std::string& word) {
    word.clear();
    std::istream::sentry skipBlanks(in);  // skips leading white space
    if (!skipBlanks) return false;
    while (word.size() < kMaxWord) {
        int next = in.peek();
        if (next == std::char_traits<char>::eof() || isspace(next)) break;
        word.push_back(static_cast<char>(in.get()));
    }
    return !word.empty();
}

void CClientCommand::Print(const char* text) {
    fputs(text, m_pOut);
    fflush(m_pOut);
}

void CClientCommand::End(int status) {
    if (m_bEnded.exchange(true)) return;
    if (m_exit) m_exit(status);
}
