// COnlineTime: the on-line timer's text, "hh : mm : ss", with as many hour
// digits as the time needs ("100 : 00 : 00" after 100 hours).
#pragma once

#include <string>

class COnlineTime {
public:
    static std::string Text(unsigned long seconds);
};
