// CClientCommand: the console front-end. Started with the account and
// password from the command line, it plays the desktop client inside the
// service: it reads a copy of every message the portal business posts (the
// hub queues them to this engine) and answers by calling the portal business
// directly. All handlers run on this engine's worker thread, one at a time;
// the word at the prompt is read on a thread of its own, so a session that
// ends without it is still reported. A process-wide singleton; tests make
// their own instances with their own streams. The portal is not owned.
#pragma once

#include <atomic>
#include <cstdio>
#include <functional>
#include <istream>
#include <string>
#include <thread>

#include "AutoString.h"
#include "Business.h"
#include "MsgEngine.h"

class CXMLOpt;
class IConsolePortal;

class CClientCommand : public CBusiness, public CMsgEngine {
public:
    // The word read at the prompt is cut to this many bytes.
    static constexpr size_t kMaxWord = 255;
    // Exit statuses.
    static constexpr int kExitDone = 0;
    static constexpr int kExitLoginFailed = 1;
    static constexpr int kExitPrepareFailed = 2;
    static constexpr int kExitSessionEnded = 3;  // ended without the user's word

    static CClientCommand* GetInst();

    void SetUserInfo(const char* account, const char* password);
    void GetUserInfo(CAutoString& account, CAutoString& password);
    void SetPortal(IConsolePortal* portal) { m_pPortal = portal; }
    // What ending the process with a status means; set before Start.
    void SetEnd(std::function<void(int)> end) { m_exit = std::move(end); }

    // Starts the engine, then starts the portal business.
    void Start();
    void DefaultDeal(CXMLOpt& message) override;
    void StartComplete(CXMLOpt& message);

    // Reads one word of at most kMaxWord bytes, skipping white space before
    // it; false at the end of the input (or on an error) before any word.
    static bool ReadWord(std::istream& in, std::string& word);

protected:
    // Tests: input, output and what ending the process means.
    CClientCommand(std::istream& in, FILE* out, std::function<void(int)> exitProcess);
    ~CClientCommand() override;
    void DoMessage(CAutoString message) override;
    // Waits for the prompt's reader (tests; its input must end).
    void JoinPrompt();

private:
    CClientCommand();
    void DealNetStateMessage(CXMLOpt& message);
    void DealPreConnectedMsg(CXMLOpt& message);
    void DealPreConnectFailMsg(CXMLOpt& message);
    void DealConnectedMsg(CXMLOpt& message);
    void DealConnectFailMsg(CXMLOpt& message);
    // After the prompt: the session is over, by the user's word or not.
    void DealSessionEnd(CXMLOpt& message);
    void ReadPrompt();
    void Print(const char* text);
    void End(int status);

    CAutoString m_strAccount{""};
    CAutoString m_strPassword{""};
    IConsolePortal* m_pPortal = nullptr;
    std::istream& m_in;
    FILE* m_pOut;
    std::function<void(int)> m_exit;
    std::atomic<bool> m_bLoginStarted{false};
    std::atomic<bool> m_bPromptShown{false};
    std::atomic<bool> m_bLogoutAsked{false};
    std::atomic<bool> m_bEnded{false};
    std::thread m_prompt;
};
