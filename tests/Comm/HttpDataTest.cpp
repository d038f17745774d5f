#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "HttpData.h"

namespace {

void WithResponse(CHttpData& data, int status, const char* head, const char* body) {
    data.retCode = status;
    data.RespHead(head ? strdup(head) : nullptr);
    data.RespData(body ? strdup(body) : nullptr);
}

}  // namespace

TEST(CHttpDataTest, OwnsTheResponseBuffersItIsGiven) {
    CHttpData data(false);
    WithResponse(data, 200, "H", "B");
    data.RespData(strdup("B2"));  // frees "B"
    EXPECT_STREQ(data.RespData(), "B2");
    char* head = data.DetachRespHead();
    EXPECT_STREQ(head, "H");
    EXPECT_FALSE(data.HasRespHead());
    free(head);
    data.Release();
    EXPECT_STREQ(data.RespData(), "");
    WithResponse(data, 200, "left", "behind");  // freed by the destructor (ASan checks)
}

TEST(CHttpDataTest, GetHeadAttriReadsOneHeaderValue) {
    const char* head =
        "HTTP/1.1 200 OK\r\nX-Error-Code: 7\r\nerror-code:  0 \r\nX-schoolid: 12\r\ndomain:\r\n"
        "Server-Tag: a:B\r\nError-Codes: 9\r\nTail: no-end";
    const char* cases[][2] = {
        {"Error-Code", "0"},  {"Error-Code:", "0"}, {"ERROR-CODE", "0"},    // any case, at a line start only
        {"schoolid:", ""},    {"domain:", ""},      {"server-tag", "a:B"},  // the value keeps its case
        {"Error-Codes", "9"}, {"Tail", ""},         {"Absent", ""},        {"", ""}, {":", ""},
    };
    CHttpData data;
    WithResponse(data, 200, head, "");
    for (auto& c : cases) EXPECT_EQ(data.GetHeadAttri(c[0]), c[1]) << c[0];
    CHttpData empty;
    EXPECT_EQ(empty.GetHeadAttri("Error-Code"), "");
}

TEST(CHttpDataTest, GetRedirectAddressFollowsStatusHeaderAndPage) {
    const std::tuple<int, const char*, const char*, const char*> cases[] = {
        {302, "HTTP/1.1 302\r\nLocation: http://Portal/Index.cgi?WlanUserIp=1\r\n\r\n", "",
         "http://portal/index.cgi?wlanuserip=1"},
        {303, "HTTP/1.1 303\r\nlocation:https://p/x", "", "https://p/x"},
        {302, "HTTP/1.1 302\r\nContent-Location: http://first/\r\nLocation: http://second/\r\n", "",
         "http://first/"},
        {302, "HTTP/1.1 302\r\nLocation: /relative\r\n", "", ""},
        {302, "HTTP/1.1 302\r\n", "", ""},
        {301, "HTTP/1.1 301\r\nLocation: http://p/\r\n", "", ""},
        {200, "", "<meta http-equiv=\"refresh\" content=\"0; URL=http://P/a?b=C\">", "http://p/a?b=c"},
        {200, "", "<meta content=\"0;url=http://p/\" http-equiv=\"refresh\">", ""},
        {200, "", "<meta content=\"0;url=http://p/\" http-equiv=\"refresh\"><meta content=\"url=http://q/\">",
         "http://q/"},
        {200, "", "http-equiv=\"refresh\" content=\"0;url=http://p/\"", ""},  // must not start the page
        {200, "", "<html><head><script>location.href=\"http://p/x\"</script></head>", "http://p/x"},
        {200, "", "<html><script>location.href=\"http://p/x\"</script>", ""},
        {200, "", "<html><head><script>location.href=\"page.html\"</script></head>", ""},
        {200, "", "<html>nothing</html>", ""},
        {404, "HTTP/1.1 404\r\nLocation: http://p/\r\n", "", ""},
    };
    for (const auto& [status, head, body, target] : cases) {
        CHttpData data;
        WithResponse(data, status, head, body);
        EXPECT_EQ(data.GetRedirectAddress(), target) << status << " " << head << body;
    }
}
