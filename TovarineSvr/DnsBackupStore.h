// IDnsBackupStore: where CNetHelper keeps the resolver lines it displaced
// until it puts them back, so that they survive a restart of the service.
// The text is one line of printable ASCII without XML specials, so it can
// live in a settings file as well as in a file of its own. Called only from
// the thread that owns the CNetHelper.
#pragma once

#include "AutoString.h"

// What rewriting the resolver file returns when the lines it would displace
// could not be stored first: the file is left alone.
constexpr int kDnsBackupNotSaved = -2;

class IDnsBackupStore {
public:
    virtual ~IDnsBackupStore() = default;
    // The saved text; empty when nothing is saved or it cannot be read.
    virtual CAutoString Load() = 0;
    // true once the text is stored durably.
    virtual bool Save(const char* text) = 0;
    // true when nothing is saved any more.
    virtual bool Clear() = 0;
};
