#include "UpdateRequest.h"

#include "HttpHelper.h"

std::string CUpdateRequest::Address(const std::string& funUpdate) {
    size_t open = funUpdate.find('"');
    if (open == std::string::npos) return funUpdate;
    size_t close = funUpdate.find('"', open + 1);
    // A lone quote: everything after it, as far as the text goes.
    return funUpdate.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

std::string CUpdateRequest::Query(const std::string& version, const std::string& clientId,
                                  const std::string& account, const std::string& schoolId) {
    auto value = [](const std::string& text) {
        return std::string(CHttpHelper::EncodeQueryValue(text.c_str()));
    };
    return "keyword=(auto)&version=" + value(version) + "&clientid=" + value(clientId) +
           "&dialaccount=" + value(account) + "&cid=" + value(schoolId) + "&";
}
