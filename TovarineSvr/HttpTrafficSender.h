// CHttpTrafficSender: posts traffic statistics reports with the HTTP client.
// Stateless; called on the portal business's work thread.
#pragma once

#include "TrafficSender.h"

class CHttpData;

class CHttpTrafficSender : public ITrafficSender {
public:
    int Send(const TRAFFIC_REQUEST& request) override;
    // The request record Send performs (exposed for tests).
    static void Fill(const TRAFFIC_REQUEST& request, CHttpData& data);
};
