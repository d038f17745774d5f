// CUpdateRequest: the update server's address and query, made from the
// values the service shares with the client. Pure functions, any thread.
#pragma once

#include <string>

class CUpdateRequest {
public:
    // The "FUN_Update" value names the server either plainly or inside
    // other text, between its first two double quotes. "" when there is none.
    static std::string Address(const std::string& funUpdate);
    // "keyword=(auto)&version=..&clientid=..&dialaccount=..&cid=..&", each
    // value percent-encoded so that an account like "a&version=9" stays one
    // value.
    static std::string Query(const std::string& version, const std::string& clientId,
                             const std::string& account, const std::string& schoolId);
};
