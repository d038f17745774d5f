#include "OnlineTime.h"

#include <cstdio>

std::string COnlineTime::Text(unsigned long seconds) {
    unsigned long hours = seconds / 3600;
    unsigned long minutes = (seconds - hours * 3600) / 60;
    unsigned long rest = seconds - hours * 3600 - minutes * 60;
    // Room for the largest unsigned long of hours, the separators and the NUL.
    char text[48];
    std::snprintf(text, sizeof text, "%02lu : %02lu : %02lu", hours, minutes, rest);
    return text;
}
