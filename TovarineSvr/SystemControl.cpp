#include "SystemControl.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned kRouteUp = 0x0001;  // RTF_UP
// Device-list columns after the name: bytes is the first receive and the
// first transmit column.
constexpr int kReceiveBytesColumn = 0;
constexpr int kTransmitBytesColumn = 8;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// An unsigned 64-bit decimal field; the text pointer moves past it.
bool ReadCounter(const char*& text, uint64_t& value) {
    while (IsBlank(*text)) ++text;
    if (*text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long number = strtoull(text, &end, 10);
    if (errno == ERANGE) return false;
    text = end;
    value = number;
    return true;
}

}  // namespace

CSystemControl::CSystemControl(const SYSTEM_CONTROL_PATHS& paths) : m_Paths(paths) {
    m_Executor.SetSystemControlLogger(StatisticsLineParser, this);
}

bool CSystemControl::ReadDecimal(const char* pszText, int& nValue) {
    if (!pszText) return false;
    while (IsBlank(*pszText)) ++pszText;
    const char* digits = pszText + ((*pszText == '-' || *pszText == '+') ? 1 : 0);
    if (*digits < '0' || *digits > '9') return false;
    errno = 0;
    long value = strtol(pszText, nullptr, 10);
    if (errno == ERANGE || value > INT32_MAX || value < INT32_MIN) return false;
    nValue = static_cast<int>(value);
    return true;
}

void CSystemControl::ForwardResultParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControl*>(pParam);
    if (self) ReadDecimal(pszLine, self->m_nIP_Forward_Enabled);
}

bool CSystemControl::ReadForwardingSwitch(const std::string& path) {
    static constexpr int kUnread = INT32_MIN;
    m_nIP_Forward_Enabled = kUnread;
    m_Executor.SetSystemControlLogger(ForwardResultParser, this);
    if (!m_Executor.ReadFileLines(path.c_str())) {
        int error = errno;
        fprintf(stderr, "%s: %s\n", path.c_str(), strerror(error));
    }
    if (m_nIP_Forward_Enabled != kUnread) return true;
    m_nIP_Forward_Enabled = 0;
    return false;
}

int CSystemControl::NetworkEnableIpForwarding() {
    ReadForwardingSwitch(m_Paths.strIPv4Forwarding);
    if (m_nIP_Forward_Enabled == 0) ReadForwardingSwitch(m_Paths.strIPv6Forwarding);
    return m_nIP_Forward_Enabled;
}

void CSystemControl::RouteLineParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControl*>(pParam);
    if (!self || !pszLine || self->m_szRouteInterface[0]) return;
    char name[sizeof(self->m_szRouteInterface)] = {0};
    unsigned long destination = 0, gateway = 0, mask = 0;
    unsigned flags = 0;
    // The field width keeps an overlong name inside the buffer; such a name
    // is no interface name and the line is dropped below.
    int end = 0;
    if (sscanf(pszLine, "%31s%n %lx %lx %x %*s %*s %*s %lx", name, &end, &destination, &gateway, &flags,
               &mask) != 5) {
        return;
    }
    if (!IsBlank(pszLine[end]) || destination != 0 || mask != 0 || !(flags & kRouteUp)) return;
    memcpy(self->m_szRouteInterface, name, sizeof(name));
}

void CSystemControl::StatisticsLineParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControl*>(pParam);
    if (!self || !pszLine) return;
    const char* colon = strchr(pszLine, ':');
    if (!colon) return;
    const char* name = pszLine;
    while (IsBlank(*name)) ++name;
    size_t length = static_cast<size_t>(colon - name);
    if (length == 0 || length >= sizeof(self->m_sStatistics.szInterface)) return;
    if (strlen(self->m_szRouteInterface) != length || strncmp(name, self->m_szRouteInterface, length) != 0) {
        return;
    }
    const char* text = colon + 1;
    uint64_t receive = 0, transmit = 0;
    for (int column = 0; column <= kTransmitBytesColumn; ++column) {
        uint64_t value = 0;
        if (!ReadCounter(text, value)) return;
        if (column == kReceiveBytesColumn) receive = value;
        if (column == kTransmitBytesColumn) transmit = value;
    }
    memcpy(self->m_sStatistics.szInterface, name, length);
    self->m_sStatistics.szInterface[length] = '\0';
    self->m_sStatistics.un64ReceiveBytes = receive;
    self->m_sStatistics.un64TransmitBytes = transmit;
}

int CSystemControl::NetworkTrafficStatistics(uint64_t& un64TransmitBytes, uint64_t& un64ReceiveBytes) {
    m_szRouteInterface[0] = '\0';
    m_Executor.SetSystemControlLogger(RouteLineParser, this);
    m_Executor.ReadFileLines(m_Paths.strNetRoute.c_str());
    m_Executor.SetSystemControlLogger(StatisticsLineParser, this);
    // Without a default route nothing matches and the last values stay.
    if (!m_Executor.ReadFileLines(m_Paths.strNetDev.c_str())) return -1;
    un64TransmitBytes = m_sStatistics.un64TransmitBytes;
    un64ReceiveBytes = m_sStatistics.un64ReceiveBytes;
    return 0;
}

void CSystemControl::SetSystemControlLogger(SYSTEMCONTROLLOG routine) {
    m_Executor.SetSystemControlLogger(routine, this);
}

SYSTEMCONTROLLOG CSystemControl::GetLogRoutine() { return m_Executor.GetLogRoutine(); }

void CSystemControl::Release() { delete this; }
