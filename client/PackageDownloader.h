// CPackageDownloader: fetches one package file into the staging folder and
// vouches for it: the file counts as downloaded only after a transfer that
// succeeded and, when the list gives them, with the listed size and MD5.
// A partial file left by an earlier attempt is resumed; a file that
// cannot be the package (wrong digest, a 416 answer, a server that sent the
// whole file again instead of the rest) is deleted and fetched once more
// from the start. Used by the update worker; any one thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct CUpdateItem;

class CPackageDownloader {
public:
    // cancel (may be null) ends a running transfer when it turns true; it
    // must outlive the downloader.
    explicit CPackageDownloader(const std::atomic<bool>* cancel) : m_pbCancel(cancel) {}

    // True when file now holds the item's package.
    bool Fetch(const CUpdateItem& item, const std::string& file) const;

private:
    enum class EOutcome { Done, Failed, StartOver };
    EOutcome Transfer(const std::string& address, const std::string& file) const;
    // Size and digest as listed (either may be unlisted).
    static bool Matches(const std::string& file, uint64_t size, const std::string& md5);

    const std::atomic<bool>* m_pbCancel;
};
