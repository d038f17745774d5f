// What the network probe reads from the portal: the status and headers of a
// hop (the portal parameters, Location), the page's meta refresh or script
// redirect, the redirect address's query, and the configuration between the
// markers with the full configuration parse.
// Input: status selector byte, then header block \0 body \0 configuration.
#include <cstring>
#include <memory>

#include "AuthConfig.h"
#include "FuzzSupport.h"
#include "HttpData.h"
#include "HttpHelper.h"
#include "PortalParser.h"

namespace {

const int kStatuses[] = {200, 302, 303, 301, 404, 500};

void ReadConfig(CPortalParser& parser, const char* text) {
    CAuthConfig* config = nullptr;
    parser.ParserConfig(text, config);
    std::unique_ptr<CAuthConfig> owned(config);
    CAuthConfig existing;
    CAuthConfig* into = &existing;
    parser.ParserConfig(text, into);
    fuzz::Check(into == &existing, "a given record is filled in place");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int status = kStatuses[data[0] % (sizeof(kStatuses) / sizeof(kStatuses[0]))];
    std::vector<std::string> parts = fuzz::Split(data + 1, size - 1, 3);

    CHttpData hop;
    hop.retCode = status;
    hop.RespHead(strdup(parts[0].c_str()));
    hop.RespData(strdup(parts[1].c_str()));
    for (const char* name : {"schoolid:", "domain:", "area:", "Error-Code", "Server-Tag", "Last-Login"})
        hop.GetHeadAttri(name);
    CAutoString next = hop.GetRedirectAddress();
    if (!next.IsEmpty()) {
        fuzz::Check(next.Find("http://") >= 0 || next.Find("https://") >= 0,
                    "a redirect names a web address");
        CHttpHelper helper;
        if (helper.SetAddress(next)) {
            for (const char* name : {"wlanuserip", "wlanusermac", "wlanacip"}) helper.GetParam(name);
        }
        CAutoString host, port;
        CHttpHelper::ParseIP(next, host, port);
    }

    static CPortalParser parser;
    CAutoString config("");
    int length = CPortalParser::GetConfigWithString(CAutoString(parts[1].c_str()), config);
    fuzz::Check(length >= 0 && static_cast<size_t>(length) <= parts[1].size(), "marker text within the page");
    ReadConfig(parser, config.IsEmpty() ? parts[2].c_str() : config.c_str());
    CPortalParser::GetCheckWifiShareTime(CAutoString(parts[2].c_str()));
    CPortalParser::GetCheckWifiLogoutTime(CAutoString(parts[2].c_str()));
    return 0;
}
