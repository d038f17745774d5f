// CInfoCenter: the process-wide key/value store. Two in-memory maps (run-time
// values, and global values meant for the other program) and one persisted
// XML document (conf/conf.xml in the service, conf/client.xml in the client).
// Every operation may be called from any thread: reader-writer locks guard
// the maps and the document, and the document is saved whole, atomically, on
// every local change.
#pragma once

#include <map>

#include "AutoString.h"
#include "ISvrInfoCenter.h"
#include "XMLOpt.h"
#include "ptlock.h"

class CInfoCenter : public ISvrInfoCenter {
public:
    enum class Flavor { Service, Client };

    // The client calls this once, before the first GetInst, to get its flavour.
    static void SetFlavor(Flavor flavor);
    // Created on first use; loads the working directory's settings file.
    static CInfoCenter* GetInst();
    static void Release();

    // A store of the given flavour backed by the given file; for tests and
    // for tools that read a settings file without becoming the singleton.
    CInfoCenter(Flavor flavor, const char* fileName);
    ~CInfoCenter() override = default;
    CInfoCenter(const CInfoCenter&) = delete;
    CInfoCenter& operator=(const CInfoCenter&) = delete;

    bool LoadLocalValue(const char* fileName);

    void SetValue(const char* key, const char* value) override;
    CAutoString GetValue(const char* key) override;
    void SetGlobalValue(const char* key, const char* value) override;
    void SynchroGlobalValue() override;
    // Whether the value was stored and the file saved (the client ignores it).
    bool SetLocalValue(const char* key, const char* value) override;
    CAutoString GetLocalValue(const char* key) override;

    // Notification hook for global values: deliberately sends nothing.
    virtual void PostMsg(const char* source, const char* target, const char* opcode, const char* param);
    virtual void InitOpcodeFun() {}

private:
    using ValueMap = std::map<CAutoString, CAutoString>;

    Flavor m_flavor;
    ValueMap m_dataMap;
    ValueMap m_globalDataMap;
    RWLock m_dataMapLock;
    RWLock m_globalDataMapLock;  // also guards m_xmlOpt
    CXMLOpt m_xmlOpt;
};
