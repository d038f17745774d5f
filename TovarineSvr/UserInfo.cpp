#include "UserInfo.h"

#include "AdapterCard.h"
#include "InfoCenter.h"
#include "uuid32.h"

namespace {

// An id with CR/LF or the like cannot travel in a header line, and the
// portal refuses every request whose header and body ids differ.
bool HasControlCharacter(const CAutoString& text) {
    for (size_t i = 0; i < text.GetLength(); ++i) {
        unsigned char c = static_cast<unsigned char>(text.GetBuffer()[i]);
        if (c < 0x20 || c == 0x7f) return true;
    }
    return false;
}

}  // namespace

CUserInfo::CUserInfo(ISvrInfoCenter* infoCenter)
    : m_pInfoCenter(infoCenter ? infoCenter : CInfoCenter::GetInst()),
      m_clientId(""),
      m_hostName(""),
      m_version("") {}

int CUserInfo::Init() {
    m_clientId = GetClientId();
    m_hostName = GetHostName();
    m_version = GetVersion();
    m_pInfoCenter->SetValue("clientId", m_clientId);
    m_pInfoCenter->SetValue("hostName", m_hostName);
    m_pInfoCenter->SetValue("version", m_version);
    m_pInfoCenter->SetLocalValue("clientId", m_clientId);
    return 1;
}

CAutoString CUserInfo::GetClientId() {
    if (m_clientId.IsEmpty()) {
        CAutoString stored = m_pInfoCenter->GetLocalValue("clientId");
        m_clientId = stored.IsEmpty() || HasControlCharacter(stored) ? CreateClientId() : stored;
    }
    return m_clientId;
}

CAutoString CUserInfo::GetHostName() {
    CAutoString name;
    if (CAdapterCard().GetHostName(name) == 0 && !name.IsEmpty()) m_hostName = name;
    return m_hostName;
}

CAutoString CUserInfo::GetVersion() {
    if (m_version.IsEmpty()) m_version = m_pInfoCenter->GetLocalValue("version");
    return m_version;
}

CAutoString CUserInfo::CreateClientId() { return CAutoString(uuid_create_string()); }
