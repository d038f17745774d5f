#include "InfoCenter.h"

#include <sys/stat.h>

#include <memory>
#include <string>

#include "SimpleFile.h"
#include "guard.h"

namespace {

using WriteGuard = CWriteGuard<RWLock>;
using ReadGuard = CReadGuard<RWLock>;

CInfoCenter::Flavor g_flavor = CInfoCenter::Flavor::Service;
std::unique_ptr<CInfoCenter> g_instance;

// Built on first use and never destroyed, so GetInst works from static
// initialisers and from threads still running at exit.
MutexLock& InstanceLock() {
    static MutexLock* lock = new MutexLock;
    return *lock;
}

const char* SettingsFile(CInfoCenter::Flavor flavor) {
    return flavor == CInfoCenter::Flavor::Client ? "/conf/client.xml" : "/conf/conf.xml";
}

}  // namespace

void CInfoCenter::SetFlavor(Flavor flavor) { g_flavor = flavor; }

CInfoCenter* CInfoCenter::GetInst() {
    CWriteGuard<MutexLock> guard(&InstanceLock());
    if (!g_instance) {
        char directory[4096] = {0};
        CSimpleFile::GetModulePath(directory, sizeof(directory));
        std::string file = std::string(directory) + SettingsFile(g_flavor);
        g_instance.reset(new CInfoCenter(g_flavor, file.c_str()));
    }
    return g_instance.get();
}

void CInfoCenter::Release() {
    CWriteGuard<MutexLock> guard(&InstanceLock());
    g_instance.reset();
}

CInfoCenter::CInfoCenter(Flavor flavor, const char* fileName) : m_flavor(flavor) {
    if (!fileName) return;
    // The client's settings hold the account; saves keep the file's mode.
    if (flavor == Flavor::Client) chmod(fileName, 0600);
    LoadLocalValue(fileName);
}

bool CInfoCenter::LoadLocalValue(const char* fileName) {
    WriteGuard guard(&m_globalDataMapLock);
    return m_xmlOpt.LoadFile(fileName);
}

void CInfoCenter::SetValue(const char* key, const char* value) {
    if (!key || !value) return;
    WriteGuard guard(&m_dataMapLock);
    m_dataMap[key] = value;
}

CAutoString CInfoCenter::GetValue(const char* key) {
    ReadGuard guard(&m_dataMapLock);
    auto found = m_dataMap.find(key ? key : "");
    return found == m_dataMap.end() ? CAutoString("") : found->second;
}

void CInfoCenter::SetGlobalValue(const char* key, const char* value) {
    if (!key || !value) return;
    SetValue(key, value);
    {
        WriteGuard guard(&m_globalDataMapLock);
        m_globalDataMap[key] = value;
    }
    if (m_flavor == Flavor::Service) {
        CAutoString param;
        param.Format("<key>%s</key><value>%s</value>", key, value);
        PostMsg("Portal", "InfoCenter", "SetValue", param);
    }
}

void CInfoCenter::SynchroGlobalValue() {
    ValueMap copy;
    {
        ReadGuard guard(&m_globalDataMapLock);
        copy = m_globalDataMap;
    }
    for (const auto& entry : copy) {
        CAutoString param;
        param.Format("<key>%s</key><value>%s</value>", entry.first.c_str(), entry.second.c_str());
        PostMsg("Portal", "InfoCenter", "SetValue", param);
    }
}

bool CInfoCenter::SetLocalValue(const char* key, const char* value) {
    if (!key || !value) return false;
    WriteGuard guard(&m_globalDataMapLock);
    // Every save is a synced write: a login stores mostly what it stored before.
    if (m_xmlOpt.SetXMLPos(key) && m_xmlOpt.GetValue(key) == value) return true;
    bool stored = m_xmlOpt.SetValue(key, value) && m_xmlOpt.SaveFile();
    return stored;
}

CAutoString CInfoCenter::GetLocalValue(const char* key) {
    // Reading moves the navigator's position, so even a lookup needs the
    // document to itself.
    WriteGuard guard(&m_globalDataMapLock);
    return m_xmlOpt.GetValue(key);
}

void CInfoCenter::PostMsg(const char*, const char*, const char*, const char*) {}
