#include "InfoCenterDnsBackupStore.h"

#include "ISvrInfoCenter.h"

CAutoString CInfoCenterDnsBackupStore::Load() {
    if (!m_pInfoCenter) return CAutoString("");
    CAutoString text = m_pInfoCenter->GetLocalValue(kKey);
    return text.IsNull() ? CAutoString("") : text;
}

bool CInfoCenterDnsBackupStore::Save(const char* text) {
    return m_pInfoCenter && m_pInfoCenter->SetLocalValue(kKey, text ? text : "");
}

bool CInfoCenterDnsBackupStore::Clear() { return m_pInfoCenter && m_pInfoCenter->SetLocalValue(kKey, ""); }
