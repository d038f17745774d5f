// CErrorCodeText: the table of texts shown for the service's error codes,
// loaded from conf/code.xml ("code" root, "err" children with "id" and
// "value"). Keys are the code ("%ld") or the code and sub-error code
// ("%ld.%s"); a text's "%s" stands for the report's extra text.
// Load on the main thread before other threads look texts up; GetText from
// any thread.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "AutoString.h"

class CErrorCodeText {
public:
    static CErrorCodeText* GetInst();

    CErrorCodeText() = default;
    CErrorCodeText(const CErrorCodeText&) = delete;
    CErrorCodeText& operator=(const CErrorCodeText&) = delete;

    // Replaces the table with the file's entries (the working directory's
    // conf/code.xml when path is null); the first of two equal ids counts.
    // False, with a line on standard output and an empty table, when the
    // file cannot be read or has no "code" root.
    bool Load(const char* path = nullptr);
    // The entry's text with every "%s" replaced by extra, or "错误码：<code>"
    // when the table lacks the key (no retry without the sub-error code).
    CAutoString GetText(long code, const char* subErrCode, const char* extra);

private:
    std::mutex m_lock;
    std::map<std::string, std::string> m_texts;
};
