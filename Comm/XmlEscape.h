// XmlEscape: makes a value safe to place into XML text or an attribute.
// Pure function, any thread.
#pragma once

#include "AutoString.h"

// Replaces & < > " ' by their entities; null gives an empty string.
CAutoString XmlEscape(const char* text);
