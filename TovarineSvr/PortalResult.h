// What a step of the portal session returns to the work loop, and the
// portal's own "Error-Code" answers the exchanges tell apart. A failure is
// already reported to the client by the step that found it.
#pragma once

#include <sys/socket.h>

enum EPortalResult : int {
    kResultDone = 1,
    kResultRunAgain = 2,  // a new module was installed: build the request again
    kResultNothing = 0,   // nothing to do, or a failure still within its tolerance
    kResultFailed = -1,
    kResultUpdateFailed = -2,  // the module update failed twice, or this version is refused
    kResultRefused = -3,       // the portal answered another Error-Code
    kResultNoAddress = -3,     // the ticket request found no local address
    kResultDetectLoop = -4,    // detection gave up on a circle of redirects
    kResultNoTicketBody = -5,
    kResultTicketUnparsed = -7,
    kResultRedirected = -8,  // the portal page intercepted the request
    kResultServerDown = -9,
    kResultSessionEnded = -14,
    kResultSwitchedServer = -99,  // the ticket request moved to another server of the cluster
};

enum EPortalErrorCode : long {
    kPortalNoHeader = -1,
    kPortalOk = 0,
    kPortalVersionLimit = 3,
    kPortalSessionUnknown = 13,
    kPortalNotOnline = 14,
    kPortalAccountLimited = 105,  // with "Last-Login" when the account is on line elsewhere
    kPortalNewModule = 200,
    kPortalNotLoggedIn = 300,
    kPortalNotLoggedInYet = 301,
};

// The family of the addresses a request goes out with.
enum EAddressFamily : int {
    kFamilyNone = -1,  // not chosen yet
    kFamilyIPv4 = AF_INET,
    kFamilyIPv6 = AF_INET6,
};
