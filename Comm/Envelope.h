// Templates of the envelope that crosses the pipes: root M with OpS (sender),
// OpT (target business), OpC (opcode) and P (parameters). Every value put
// into them must go through XmlEscape first; P of the first template is an
// XML fragment built by the caller from escaped values.
#pragma once

#include "AutoString.h"

inline constexpr char kEnvelopeFormat[] = "<M><OpS>%s</OpS><OpT>%s</OpT><OpC>%s</OpC><P>%s</P></M>";
inline constexpr char kEnvelopeLogoutFormat[] =
    "<M><OpS>%s</OpS><OpT>%s</OpT><OpC>%s</OpC><P><src>2</src></P></M>";

// The "PortalConnect" envelope with account and password, both escaped here.
// Pure function, any thread.
CAutoString LoginEnvelope(const char* source, const char* target, const char* account, const char* password);
