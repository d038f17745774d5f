// The readers of the portal's answers, shared by the targets that feed them
// decoded text: the answer as it stands, and as the module decodes it.
#pragma once

#include "FuzzSupport.h"
#include "PortalParser.h"

namespace fuzz {

// Every exchange's reader on one decoded answer (the state answer is read
// as a login answer).
inline void ReadAnswers(const char* text) {
    CAutoString ticket, account, keepUrl, termUrl, userConfig, domainConfig, terminal;
    int expire = 0, retry = 0, interval = 0, level = 0;
    CPortalParser::ReadTickAnswer(text, ticket, expire);
    CPortalParser::ReadAuthAnswer(text, account, retry, keepUrl, termUrl, userConfig, domainConfig);
    CPortalParser::ReadKeepAnswer(text, interval, level);
    if (CPortalParser::ReadTerminalAnswer(text, terminal) == 1)
        Check(terminal.Find("<response>") == 0, "the terminal list starts at its root");
}

}  // namespace fuzz
