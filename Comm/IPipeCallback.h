// IPipeCallback: receiver of the envelopes read from a pipe. Called on the
// transport's message-engine worker thread, one message at a time, in
// arrival order; the callee owns its copy of the text.
#pragma once

#include "AutoString.h"

class IPipeCallback {
public:
    virtual ~IPipeCallback() = default;
    virtual void DoWorkOnPipe(CAutoString message) = 0;
};
