// ISvrInfoCenter: what a business may ask of its program's information
// center. Implemented by CInfoCenter; every operation is thread-safe.
#pragma once

#include "AutoString.h"

class ISvrInfoCenter {
public:
    virtual ~ISvrInfoCenter() = default;

    virtual void SetValue(const char* key, const char* value) = 0;
    virtual CAutoString GetValue(const char* key) = 0;
    virtual void SetGlobalValue(const char* key, const char* value) = 0;
    virtual void SynchroGlobalValue() = 0;
    virtual bool SetLocalValue(const char* key, const char* value) = 0;
    virtual CAutoString GetLocalValue(const char* key) = 0;
};
