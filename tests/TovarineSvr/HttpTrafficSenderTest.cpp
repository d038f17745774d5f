#include <gtest/gtest.h>

#include "HttpData.h"
#include "HttpTrafficSender.h"

TEST(CHttpTrafficSenderTest, RequestRecordCarriesTheReportAsGivenAndNeedsAnAddress) {
    const char body[] = "abcdef";
    for (bool verify : {true, false}) {
        TRAFFIC_REQUEST request;
        request.pszURL = "https://stats.example/report";
        request.pszHead = "Connection: close\r\n";
        request.pszData = body;
        request.nDataLen = 4;  // a prefix: the length is honoured, not strlen
        request.ulTimeOutMs = 10000;
        request.bVerifyPeer = verify;
        CHttpData data;
        CHttpTrafficSender::Fill(request, data);
        EXPECT_STREQ(data.szUrl, "https://stats.example/report");
        EXPECT_STREQ(data.szVerb, "POST");
        EXPECT_EQ(data.szHead, request.pszHead);
        EXPECT_EQ(data.szPostData, body);
        EXPECT_EQ(data.dwPostDataLen, 4u);
        EXPECT_EQ(data.dwTimeOut, 10000u);  // milliseconds, as the record counts them
        EXPECT_FALSE(data.bRedirect);
        EXPECT_EQ(data.bVerifyPeer, verify);
    }
    CHttpTrafficSender sender;
    TRAFFIC_REQUEST request;
    EXPECT_EQ(sender.Send(request), -1);
    request.pszURL = "";
    EXPECT_EQ(sender.Send(request), -1);
}
