// CCurlGlobal: libcurl's process-wide set-up for the lifetime of the object.
// Each program's main creates one before it starts any thread and keeps it
// until every thread that makes HTTP requests has ended. Nesting is fine:
// libcurl counts the calls.
#pragma once

class CCurlGlobal {
public:
    CCurlGlobal() noexcept;
    ~CCurlGlobal();
    CCurlGlobal(const CCurlGlobal&) = delete;
    CCurlGlobal& operator=(const CCurlGlobal&) = delete;

    bool IsReady() const { return m_bReady; }

private:
    bool m_bReady;
};
