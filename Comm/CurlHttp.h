// CCurlHttp: performs HTTP and HTTPS requests with libcurl's easy interface.
// Stateless: every call makes and frees its own handle, so any thread may
// call it at any time once the program's CCurlGlobal exists. Only "http" and
// "https" are spoken, also when following redirects (at most 10), and no
// handle uses signals.
#pragma once

#include <cstdint>

#include "AutoString.h"

class CHttpData;

class CCurlHttp {
public:
    // 0 done with an HTTP status below 400 (response buffers, dwDataLen and
    // retCode set); -1 no URL; -2 no libcurl handle; -3 status 400 or above
    // (retCode holds it, no buffers); -4 transfer failed, including a
    // response beyond dwMaxRespLen (retCode holds the libcurl code).
    // Buffers held from an earlier request are released first. The URL is
    // normalised (PretreatUrl) and written back through SetUrl.
    static int Perform(CHttpData* pData);

    // Resumable download: appends to file from its current length and shows
    // the progress on standard output; the file may grow to 64 MiB. True
    // when the file is complete, also when it already was.
    static bool downLoad(const char* url, const char* file);
    // Download with a request record, appending to file from its current
    // length. Returns true on FAILURE (the update installer relies on it):
    // no handle, no URL, file not writable, transfer failed or status 400 or
    // above. The file may grow to dwMaxRespLen (set kMaxModuleRespLen for a
    // package). retCode and the response header land in the record as with
    // Perform; dwDataLen counts the bytes appended.
    static bool downLoad(CHttpData* pData, const char* file);

    // Size of a regular file, 0 when it cannot be read.
    static int64_t GetLocalFileLenth(const char* file);

    // A query directly after the host gets a root path ("http://h?a" ->
    // "http://h/?a"); every "&amp;" becomes "&".
    static CAutoString PretreatUrl(const char* url);
};
