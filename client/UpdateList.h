// CUpdateList: the download list "update.xml" of the staging folder: root
// "update", one "item" per package file with the attributes "name", "md5",
// "size" and "state" and, as text, the download address while the file is
// pending or the local file once it is downloaded. Built with the XML
// writer, so any address or name round-trips whatever characters it holds.
// A value object; one thread at a time.
#pragma once

#include <string>
#include <vector>

struct CUpdateItem {
    std::string name;
    std::string md5;
    std::string size;   // decimal bytes; "0" when the server gave none
    std::string state;  // kListed, kDownloading or kDownloaded
    std::string text;   // address, then local file
};

class CUpdateList {
public:
    static constexpr const char* kListed = "0";
    static constexpr const char* kDownloading = "1";
    static constexpr const char* kDownloaded = "2";

    // What State() reports.
    enum { kUnreadable = -1, kPending = 0, kAllDownloaded = 1, kNoItems = 2 };

    // False (and an empty list) when the file cannot be read or has no
    // "update" root.
    bool Load(const std::string& file);
    // Writes the whole list at once (a crash leaves the old file or the new).
    bool Save(const std::string& file) const;

    // A package file from the server, listed in state kListed. A package
    // already listed keeps its item when the address is the same; another
    // address replaces size, md5 and address and lists it anew. True when
    // the list changed.
    bool Record(const std::string& name, const std::string& address, const std::string& md5,
                const std::string& size);

    // kPending when an item is not downloaded, kNoItems for an empty list,
    // else kAllDownloaded. kUnreadable only from FileState.
    int State() const;
    static int FileState(const std::string& file);

    std::vector<CUpdateItem>& Items() { return m_items; }
    const std::vector<CUpdateItem>& Items() const { return m_items; }

private:
    std::vector<CUpdateItem> m_items;
};
