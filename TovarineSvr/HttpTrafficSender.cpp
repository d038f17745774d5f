#include "HttpTrafficSender.h"

#include "CurlHttp.h"
#include "HttpData.h"

void CHttpTrafficSender::Fill(const TRAFFIC_REQUEST& request, CHttpData& data) {
    data.SetUrl(request.pszURL);
    data.szVerb = request.pszVerb ? request.pszVerb : "POST";
    data.szHead = request.pszHead;
    data.szPostData = request.pszData;
    data.dwPostDataLen = request.pszData ? request.nDataLen : 0;
    data.dwTimeOut = request.ulTimeOutMs;
    data.bRedirect = request.bRedirect;
    data.bChangeCode = false;
    data.bVerifyPeer = request.bVerifyPeer;
}

int CHttpTrafficSender::Send(const TRAFFIC_REQUEST& request) {
    if (!request.pszURL || !*request.pszURL) return -1;
    CHttpData data;
    Fill(request, data);
    return CCurlHttp::Perform(&data);
}
