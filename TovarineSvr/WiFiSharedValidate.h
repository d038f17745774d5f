// CWiFiSharedValidate: holds the portal's rules against sharing the
// connection (programs whose running marks the host as sharing, and whether
// IP forwarding does) and checks the host against them. Processes are found
// by scanning the process file system; no rule text reaches a shell.
// Only the portal business's work thread uses it.
#pragma once

#include <map>
#include <set>
#include <string>

#include "AutoString.h"
#include "SystemControlAdapter.h"

class CWiFiSharedValidate {
public:
    // Process command names are at most this long; longer names are
    // compared by their first kCommandNameMax bytes.
    static constexpr size_t kCommandNameMax = 15;

    explicit CWiFiSharedValidate(const SYSTEM_CONTROL_PATHS& paths = SYSTEM_CONTROL_PATHS());
    CWiFiSharedValidate(const CWiFiSharedValidate&) = delete;
    CWiFiSharedValidate& operator=(const CWiFiSharedValidate&) = delete;

    // The character set of the rule texts (the portal's answers arrive as
    // GB18030); names and display names are kept as UTF-8. "UTF-8" keeps
    // them as they are.
    void SetRuleCharset(const char* pszCharset) { m_strRuleCharset = pszCharset ? pszCharset : "UTF-8"; }

    // Reads a "user-config" rule text; a null or empty text or one without
    // "user-config"/"against" changes nothing. Returns whether rules are held.
    bool Initialization(const char* pszRules);
    // 1 when sharing is found, else 0. The first readable rule text stays in
    // force; later texts are not read again.
    int IsValidEnvironment(const char* pszRules);
    // UTF-8 display name of the last positive finding.
    const char* GetDisplayName() const { return m_strDisplayName.GetBuffer(); }

    bool IsInitialized() const { return m_bIsInitialized; }
    bool IsIPForward() const { return m_bIPForward; }
    const std::map<std::string, std::string>& GetProcesses() const { return m_mProcesses; }

    // Command names of the running processes, truncated as the kernel keeps
    // them. False when the process directory cannot be read.
    static bool CollectCommandNames(const char* pszProcDir, std::set<std::string>& names);
    // A program name as a process's command name holds it: cut to
    // kCommandNameMax bytes.
    static std::string CommandName(const std::string& strProgram);

    static const char kForwardingDisplayName[];

private:
    std::string ToUtf8(const std::string& text) const;

    bool m_bIsInitialized = false;
    bool m_bIPForward = false;
    CAutoString m_strDisplayName;
    std::map<std::string, std::string> m_mProcesses;
    CSystemControlAdapter m_Adapter;
    std::string m_strProcDir;
    std::string m_strRuleCharset = "GB18030";
};
