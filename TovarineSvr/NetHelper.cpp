#include "NetHelper.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "DnsBackup.h"
#include "FileDnsBackupStore.h"
#include "Log.h"
#include "UniqueFd.h"

namespace {

int ReadAll(int fd, std::string& content) {
    content.clear();
    char chunk[8192];
    for (;;) {
        ssize_t got = pread(fd, chunk, sizeof(chunk), static_cast<off_t>(content.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) return 0;
        content.append(chunk, static_cast<size_t>(got));
        if (content.size() > CNetHelper::kMaxResolvSize) return EFBIG;
    }
}

// In place, so the file keeps its inode: it is often a bind mount or the
// target of a link, which a rename would break or replace.
int WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        ssize_t put = pwrite(fd, content.data() + done, content.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += static_cast<size_t>(put);
    }
    if (ftruncate(fd, static_cast<off_t>(content.size())) != 0) return errno;
    if (fsync(fd) != 0 && errno != EINVAL && errno != EROFS) return errno;
    return 0;
}

// A failed write may have left half of the new text behind: put the old
// text back as well as possible before reporting the error.
int Replace(int fd, const std::string& current, const std::string& replacement) {
    if (replacement == current) return 0;
    int error = WriteAll(fd, replacement);
    if (error) WriteAll(fd, current);
    return error;
}

std::vector<std::string> SplitLines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        end = end == std::string::npos ? content.size() : end + 1;
        lines.push_back(content.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string content;
    for (const std::string& line : lines) content += line;
    return content;
}

bool IsBlank(char ch) { return ch == ' ' || ch == '\t'; }

// "keyword" followed by a blank (or the line's end when bareAllowed).
bool StartsWithKeyword(const std::string& line, const char* keyword, bool bareAllowed) {
    size_t length = strlen(keyword);
    if (line.compare(0, length, keyword) != 0) return false;
    if (line.size() == length) return bareAllowed;
    char next = line[length];
    return IsBlank(next) || (bareAllowed && (next == '\n' || next == '\r'));
}

bool ParseNameserver(const std::string& line, std::string& address) {
    if (!StartsWithKeyword(line, "nameserver", false)) return false;
    size_t start = strlen("nameserver");
    while (start < line.size() && IsBlank(line[start])) ++start;
    size_t end = start;
    while (end < line.size() && !IsBlank(line[end]) && line[end] != '\r' && line[end] != '\n') ++end;
    address = line.substr(start, end - start);
    return true;
}

// A resolver on this host stays in front of whatever the portal says.
bool IsLocalResolver(const std::string& address) {
    if (address.find(':') != std::string::npos) return address.compare(0, 3, "::1") == 0;
    return address.compare(0, 9, "127.0.1.1") == 0;
}

bool IsUsable(const char* server) {
    if (!server || !*server || CNetHelper::IsValidAddress(server) != 0) return false;
    // The validity codes let a few malformed texts through (1.2.3.4.5);
    // none of them may reach the file.
    unsigned char binary[sizeof(struct in6_addr)];
    return inet_pton(strchr(server, ':') ? AF_INET6 : AF_INET, server, binary) == 1;
}

void RecordWritten(CDnsBackup& backup, const std::vector<std::string>& out, size_t from) {
    for (size_t i = from; i < out.size(); ++i) backup.m_written.push_back({i, out[i]});
}

// The portal's servers in place of the host's first two foreign lines, or
// else ahead of its "search" line; a file with neither gets none (the host
// then resolves some other way). What changed goes to backup.
std::vector<std::string> Rewrite(const std::vector<std::string>& in, const char* dns1, const char* dns2,
                                 CDnsBackup& backup) {
    std::vector<std::string> out;
    int slot = 0;
    size_t displacedServers = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const std::string& line = in[i];
        std::string address;
        if (ParseNameserver(line, address)) {
            if (IsLocalResolver(address)) {
                out.push_back(line);
                continue;
            }
            backup.m_displaced.push_back({i, line});
            if (displacedServers == 0) backup.m_strFirst = address;
            if (displacedServers == 1) backup.m_strSecond = address;
            ++displacedServers;
            size_t before = out.size();
            CNetHelper::SetDNS(dns1, dns2, out, slot, true);
            RecordWritten(backup, out, before);
            continue;
        }
        if (StartsWithKeyword(line, "search", true) && slot < 2) {
            size_t before = out.size();
            CNetHelper::SetDNS(dns1, dns2, out, slot, false);
            RecordWritten(backup, out, before);
        }
        out.push_back(line);
    }
    return out;
}

// The portal's servers that a backup's rewrite put in, in file order.
void WrittenServers(const CDnsBackup& backup, CAutoString& first, CAutoString& second) {
    first.Empty();
    second.Empty();
    int count = 0;
    for (const CDnsBackup::Line& line : backup.m_written) {
        std::string address;
        if (!ParseNameserver(line.m_strText, address) || IsLocalResolver(address)) continue;
        if (count == 0) first = address.c_str();
        if (count == 1) second = address.c_str();
        ++count;
    }
}

}  // namespace

CNetHelper::CNetHelper(const char* resolvPath, std::unique_ptr<IDnsBackupStore> store)
    : m_strResolvPath(resolvPath ? resolvPath : "/etc/resolv.conf"), m_pStore(std::move(store)) {
    if (!m_pStore) m_pStore = std::make_unique<CFileDnsBackupStore>(kDefaultBackupPath);
}

CNetHelper::~CNetHelper() = default;

CDnsBackup* CNetHelper::Backup() {
    if (!m_bBackupLoaded) {
        m_bBackupLoaded = true;
        CAutoString text = m_pStore->Load();
        if (!text.IsEmpty()) {
            auto backup = std::make_unique<CDnsBackup>();
            if (backup->Decode(text.GetBuffer())) {
                m_pBackup = std::move(backup);
            } else {
                CLog::GetInst()->WriteLog(kLogInfo, "dns backup unreadable, ignored");
            }
        }
    }
    return m_pBackup.get();
}

bool CNetHelper::KeepBackup(std::unique_ptr<CDnsBackup> backup) {
    // Saved before the file changes: a backup whose lines never reached the
    // file is recognised later (Undo finds none of them) and dropped. One
    // kept only in memory would be lost with the process, and the host's
    // servers with it.
    if (!m_pStore->Save(backup->Encode().c_str())) {
        CLog::GetInst()->WriteLog(kLogInfo, "dns backup could not be saved; resolver file left alone");
        return false;
    }
    m_pBackup = std::move(backup);
    m_bBackupLoaded = true;
    return true;
}

void CNetHelper::DropBackup() {
    if (!m_pStore->Clear()) CLog::GetInst()->WriteLog(kLogInfo, "dns backup could not be cleared");
    m_pBackup.reset();
    m_bBackupLoaded = true;
}

bool CNetHelper::HasBackup() { return Backup() != nullptr; }

int CNetHelper::SetDNSServers(CAutoString& dns1, CAutoString& dns2) {
    CDnsBackup* pending = Backup();
    bool noServers = dns1.IsEmpty() && dns2.IsEmpty();
    if (noServers ||
        (pending && pending->m_strFirst == dns1.GetBuffer() && pending->m_strSecond == dns2.GetBuffer())) {
        if (!pending) return 0;
        CAutoString removed1, removed2;
        WrittenServers(*pending, removed1, removed2);
        if (int error = RestoreDNSServers()) return error;
        dns1 = removed1;
        dns2 = removed2;
        return 0;
    }
    if (!IsUsable(dns1.GetBuffer()) && !IsUsable(dns2.GetBuffer())) return EINVAL;

    CUniqueFd fd(open(m_strResolvPath.GetBuffer(), O_RDWR | O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    std::string content;
    if (int error = ReadAll(fd.Get(), content)) return error;
    // A rewrite always starts from the host's own file, so the host's lines
    // are never taken for foreign ones on a second rewrite.
    std::vector<std::string> base = SplitLines(content);
    if (pending) pending->Undo(base);
    auto backup = std::make_unique<CDnsBackup>();
    std::string rewritten = JoinLines(Rewrite(base, dns1.GetBuffer(), dns2.GetBuffer(), *backup));
    std::string first = backup->m_strFirst, second = backup->m_strSecond;

    std::unique_ptr<CDnsBackup> previous = pending ? std::make_unique<CDnsBackup>(*pending) : nullptr;
    if (!KeepBackup(std::move(backup))) return kDnsBackupNotSaved;
    if (int error = Replace(fd.Get(), content, rewritten)) {
        if (!previous || !KeepBackup(std::move(previous))) DropBackup();
        return error;
    }
    dns1 = first.c_str();
    dns2 = second.c_str();
    if (first.empty()) dns1.Empty();
    if (second.empty()) dns2.Empty();
    return 0;
}

int CNetHelper::RestoreDNSServers() {
    CDnsBackup* pending = Backup();
    if (!pending) return 0;
    CUniqueFd fd(open(m_strResolvPath.GetBuffer(), O_RDWR | O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    std::string content;
    if (int error = ReadAll(fd.Get(), content)) return error;
    std::vector<std::string> lines = SplitLines(content);
    if (pending->Undo(lines)) {
        if (int error = Replace(fd.Get(), content, JoinLines(lines))) return error;
    }
    DropBackup();
    return 0;
}

bool CNetHelper::SetDNS(const char* dns1, const char* dns2, std::vector<std::string>& lines, int& slot,
                        bool replacing) {
    bool use1 = IsUsable(dns1);
    bool use2 = IsUsable(dns2);
    auto add = [&lines](const char* server) { lines.push_back(std::string("nameserver ") + server + "\n"); };
    if (replacing) {
        if (slot == 0) {
            if (use1)
                add(dns1);
            else if (use2)
                add(dns2);
            slot = 1;
            return true;
        }
        if (slot == 1) {
            if (use1 && use2) add(dns2);
            slot = 2;
            return true;
        }
        return false;
    }
    bool wrote = false;
    if (slot == 0) {
        if (use1) add(dns1);
        if (use2) add(dns2);
        wrote = use1 || use2;
        slot += 2;
    } else if (slot == 1) {
        if (use1 && use2) add(dns2);
        wrote = use1 && use2;
        slot += 1;
    }
    return wrote;
}

bool CNetHelper::IsValidIpv6Char(const char* text) {
    if (!text) return false;
    for (const char* p = text; *p; ++p)
        if (!isxdigit(static_cast<unsigned char>(*p)) && *p != ':') return false;
    return true;
}

bool CNetHelper::IsValidNumColon(const char* text) {
    if (!text) return false;
    int colons = 0;
    for (const char* p = text; *p; ++p) colons += *p == ':';
    return colons >= 2 && colons <= 7;
}

int CNetHelper::IsValidAddress(const char* text) {
    if (!text || !*text) return 0;
    size_t length = strlen(text);
    if (!strchr(text, ':')) {
        if (length < 7 || length > 15) return 1;
        // Four parts: the last one takes everything after the third dot.
        const char* dot1 = strchr(text, '.');
        const char* dot2 = dot1 ? strchr(dot1 + 1, '.') : nullptr;
        const char* dot3 = dot2 ? strchr(dot2 + 1, '.') : nullptr;
        if (!dot3) return 2;
        if (dot1 - text > 3 || dot2 - dot1 - 1 > 3 || dot3 - dot2 - 1 > 3 || strlen(dot3 + 1) > 3) return 3;
        int parts[4];
        if (sscanf(text, "%d.%d.%d.%d", &parts[0], &parts[1], &parts[2], &parts[3]) != 4) return 4;
        // Only the first part may not be 0: 10.0.0.1 is a common resolver.
        for (int i = 0; i < 4; ++i)
            if (parts[i] < (i == 0 ? 1 : 0) || parts[i] > 255) return 5;
        return 0;
    }
    if (length < 3 || length > 39) return 6;
    if (!IsValidIpv6Char(text)) return 7;
    if (!IsValidNumColon(text)) return 8;
    std::vector<std::string> groups;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i == length || text[i] == ':') {
            if (i < length || start < length) groups.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    for (const std::string& group : groups)
        if (group.size() > 4) return 9;
    if (text[length - 1] == ':' && text[length - 2] != ':') return 8;
    int empty = 0;
    for (const std::string& group : groups) empty += group.empty();
    if (!groups.empty() && groups.front().empty()) --empty;
    return empty > 1 ? 8 : 0;
}
