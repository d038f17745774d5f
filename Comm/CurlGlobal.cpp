#include "CurlGlobal.h"

#include <curl/curl.h>

CCurlGlobal::CCurlGlobal() noexcept : m_bReady(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

CCurlGlobal::~CCurlGlobal() {
    if (m_bReady) curl_global_cleanup();
}
