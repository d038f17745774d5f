#include "UpdateList.h"

#include "Markup.h"

namespace {
constexpr char kRoot[] = "update";
constexpr char kItem[] = "item";
}  // namespace

bool CUpdateList::Load(const std::string& file) {
    m_items.clear();
    CMarkup doc;
    if (!doc.Load(file.c_str()) || !doc.FindElem(kRoot)) return false;
    doc.IntoElem();
    while (doc.FindElem(kItem)) {
        m_items.push_back({doc.GetAttrib("name").c_str(), doc.GetAttrib("md5").c_str(),
                           doc.GetAttrib("size").c_str(), doc.GetAttrib("state").c_str(),
                           doc.GetData().c_str()});
    }
    return true;
}

bool CUpdateList::Save(const std::string& file) const {
    CMarkup doc("<?xml version=\"1.0\" encoding=\"UTF-8\"?><update/>");
    if (!doc.FindElem(kRoot)) return false;
    doc.IntoElem();
    for (const CUpdateItem& item : m_items) {
        bool ok = doc.AddElem(kItem, item.text.c_str()) && doc.SetAttrib("name", item.name.c_str()) &&
                  doc.SetAttrib("md5", item.md5.c_str()) && doc.SetAttrib("size", item.size.c_str()) &&
                  doc.SetAttrib("state", item.state.c_str());
        if (!ok) return false;
    }
    return doc.Save(file.c_str());
}

bool CUpdateList::Record(const std::string& name, const std::string& address, const std::string& md5,
                         const std::string& size) {
    for (CUpdateItem& item : m_items) {
        if (item.name != name) continue;
        if (item.text == address) return false;
        item = {name, md5, size, kListed, address};
        return true;
    }
    m_items.push_back({name, md5, size, kListed, address});
    return true;
}

int CUpdateList::State() const {
    for (const CUpdateItem& item : m_items) {
        if (item.state != kDownloaded) return kPending;
    }
    return m_items.empty() ? kNoItems : kAllDownloaded;
}

int CUpdateList::FileState(const std::string& file) {
    CUpdateList list;
    return list.Load(file) ? list.State() : kUnreadable;
}
