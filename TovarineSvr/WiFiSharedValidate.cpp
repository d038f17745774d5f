#include "WiFiSharedValidate.h"

#include <dirent.h>
#include <strings.h>

#include <cerrno>
#include <cstdlib>

#include "CharsetConv.h"
#include "Log.h"
#include "Markup.h"
#include "ProcessInfo.h"
#include "UniqueStream.h"

const char CWiFiSharedValidate::kForwardingDisplayName[] = "IP数据转发";

namespace {

bool IsDigits(const char* text) {
    if (!*text) return false;
    for (; *text; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

// The shell split the names it was given; blanks around a name never counted.
std::string TrimBlanks(const char* text) {
    std::string value(text ? text : "");
    const char* blanks = " \t\r\n";
    size_t first = value.find_first_not_of(blanks);
    if (first == std::string::npos) return std::string();
    size_t last = value.find_last_not_of(blanks);
    return value.substr(first, last - first + 1);
}

// Non-zero decimal integer (leading blanks and sign allowed).
bool ReadsNonZero(const char* text) {
    char* end = nullptr;
    long value = strtol(text ? text : "", &end, 10);
    return end != text && value != 0;
}

}  // namespace

CWiFiSharedValidate::CWiFiSharedValidate(const SYSTEM_CONTROL_PATHS& paths)
    : m_Adapter(paths), m_strProcDir(paths.strProcDir) {}

std::string CWiFiSharedValidate::CommandName(const std::string& strProgram) {
    return strProgram.substr(0, kCommandNameMax);
}

std::string CWiFiSharedValidate::ToUtf8(const std::string& text) const {
    if (text.empty() || strcasecmp(m_strRuleCharset.c_str(), "UTF-8") == 0) return text;
    std::string out;
    // Rules in a character set iconv does not know, or not in the one they name, stay as they came.
    if (CCharsetConv("UTF-8", m_strRuleCharset.c_str()).Convert(text.data(), text.size(), out) != 0)
        return text;
    return out;
}

bool CWiFiSharedValidate::Initialization(const char* pszRules) {
    if (!pszRules || !*pszRules) return m_bIsInitialized;
    CMarkup rules;
    if (!rules.SetDoc(pszRules) || !rules.FindElem("user-config") || !rules.FindChildElem("against"))
        return m_bIsInitialized;
    rules.IntoElem();
    m_mProcesses.clear();
    while (rules.FindChildElem("process")) {
        std::string name = TrimBlanks(rules.GetChildData());
        // An empty name matches no process.
        if (name.empty()) continue;
        m_mProcesses[ToUtf8(name)] = ToUtf8(rules.GetChildAttrib("displayname").GetBuffer());
    }
    // "shared" may come before the programs.
    rules.ResetChildPos();
    if (rules.FindChildElem("shared")) {
        rules.IntoElem();
        if (rules.FindChildElem("ipforward")) m_bIPForward = ReadsNonZero(rules.GetChildData());
        rules.OutOfElem();
    }
    m_bIsInitialized = true;
    return m_bIsInitialized;
}

bool CWiFiSharedValidate::CollectCommandNames(const char* pszProcDir, std::set<std::string>& names) {
    names.clear();
    std::string directory(pszProcDir ? pszProcDir : "");
    CUniqueDir dir(opendir(directory.c_str()));
    if (!dir) return false;
    while (struct dirent* entry = readdir(dir.get())) {
        if (!IsDigits(entry->d_name)) continue;
        // A process may end while the list is read: its name is then "".
        std::string name = ProcessInfo::NameIn(directory, entry->d_name);
        if (!name.empty()) names.insert(name);
    }
    return true;
}

int CWiFiSharedValidate::IsValidEnvironment(const char* pszRules) {
    if (!pszRules || !*pszRules) return 0;
    if (!m_bIsInitialized) Initialization(pszRules);
    if (!m_bIsInitialized) return 0;
    bool found = false;
    if (!m_mProcesses.empty()) {
        std::set<std::string> running;
        if (CollectCommandNames(m_strProcDir.c_str(), running)) {
            for (const auto& process : m_mProcesses) {
                if (running.count(CommandName(process.first))) {
                    m_strDisplayName = process.second.c_str();
                    found = true;
                    break;
                }
            }
        } else {
            // Nothing seen is nothing found.
            CLog::GetInst()->WriteLog(kLogVerbose,
                                      "[CWiFiSharedValidate::IsValidEnvironment] cannot read %s(%d).",
                                      m_strProcDir.c_str(), errno);
        }
    }
    if (!found && m_bIPForward) {
        ISystemControl* control = m_Adapter.GetSystemControl();
        if (control && control->NetworkEnableIpForwarding() != 0) {
            m_strDisplayName = kForwardingDisplayName;
            found = true;
        }
    }
    return found ? 1 : 0;
}
