#include "Envelope.h"

#include "XmlEscape.h"

namespace {
constexpr char kLoginFormat[] =
    "<M><OpS>%s</OpS><OpT>%s</OpT><OpC>PortalConnect</OpC><P><user>%s</user><password>%s</password></P></M>";
}  // namespace

CAutoString LoginEnvelope(const char* source, const char* target, const char* account, const char* password) {
    CAutoString envelope;
    envelope.Format(kLoginFormat, XmlEscape(source).c_str(), XmlEscape(target).c_str(),
                    XmlEscape(account).c_str(), XmlEscape(password).c_str());
    return envelope;
}
