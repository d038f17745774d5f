// CCurlHandle: move-only owner of one libcurl C handle (an easy handle or a
// header list); the only place that frees them. Used inside the HTTP client
// only, so this header may include <curl/curl.h>. Not thread-safe: one owner.
#pragma once

#include <curl/curl.h>

#include <utility>

template <typename T, void (*Free)(T*)>
class CCurlHandle {
public:
    CCurlHandle() = default;
    explicit CCurlHandle(T* handle) noexcept : m_pHandle(handle) {}
    CCurlHandle(const CCurlHandle&) = delete;
    CCurlHandle& operator=(const CCurlHandle&) = delete;
    CCurlHandle(CCurlHandle&& other) noexcept : m_pHandle(std::exchange(other.m_pHandle, nullptr)) {}
    CCurlHandle& operator=(CCurlHandle&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.m_pHandle, nullptr));
        return *this;
    }
    ~CCurlHandle() { Reset(); }

    T* Get() const noexcept { return m_pHandle; }
    explicit operator bool() const noexcept { return m_pHandle != nullptr; }
    // Gives the handle up without freeing it.
    T* Detach() noexcept { return std::exchange(m_pHandle, nullptr); }
    void Reset(T* handle = nullptr) noexcept {
        if (m_pHandle) Free(m_pHandle);
        m_pHandle = handle;
    }

private:
    T* m_pHandle = nullptr;
};

using CCurlEasy = CCurlHandle<CURL, curl_easy_cleanup>;
using CCurlSlist = CCurlHandle<curl_slist, curl_slist_free_all>;
