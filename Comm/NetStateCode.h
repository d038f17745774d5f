// The codes a state message carries in its ErrorCode field. The service
// posts them; the desktop client and the console look them up in the error
// texts, so a value never changes once shipped.
#pragma once

enum ENetStateCode : int {
    kCodeNone = 0,           // a step started or became ready without an error
    kCodeDone = 1,           // logged in, still on line, or logged out
    kCodeSessionEnded = 14,  // the portal answered a heartbeat with its Error-Code 14

    // Progress of the preparation.
    kCodeCheckStarted = 30000101,
    kCodeAddressesFound = 30000102,
    kCodeTicketStarted = 30000103,
    kCodeModuleUpdating = 30000104,
    kCodeModuleUpdated = 30000105,
    kCodeClosingOldSession = 30000106,  // logout of a session an earlier run left connected

    kCodeNoTicketUrl = 20010003,
    kCodeStateQueryEnded = 20010004,  // the state query answered Error-Code 14 while connected
    kCodeNoInterface = 20010204,
    kCodeNoProbeUrl = 20010205,
    kCodeServerDown = 20010206,
    kCodeCheckFailed = 20010207,

    // The portal's own Error-Code n is posted as kCodePortalBase + n.
    kCodePortalBase = 140000,
    kCodeVersionRefused = 140003,
    kCodeMobileAccountRefused = 140105,

    kCodeLoginUnparsed = 150001,
    kCodeModuleUpdateFailed = 150003,
    kCodeTicketUnparsed = 150003,
    kCodeDisasterServerDown = 150009,
    kCodeRedirected = 150010,
    kCodeLoginHttpError = 150102,
    kCodeTicketHttpError = 150103,
    kCodeTicketBodyFailed = 150106,
    kCodeNoAddress = 150107,
    kCodeHeartbeatFailed = 150108,
    kCodeDnsNotApplied = 150110,
    kCodeLastLogin = 150200,  // extended message: the portal's "Last-Login" text rides along
    kCodeAccountNotMobile = 150201,
};
