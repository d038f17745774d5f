// The update server's answer read into the download list, the list saved as
// "update.xml" and read back, and any file in the place of "update.xml".
// Property: a saved list reads back item for item.
// Input: answer \0 update.xml.
#include "FuzzSupport.h"
#include "UpdateAnswer.h"
#include "UpdateList.h"

namespace {

bool Same(const CUpdateItem& a, const CUpdateItem& b) {
    return a.name == b.name && a.md5 == b.md5 && a.size == b.size && a.state == b.state && a.text == b.text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = fuzz::Split(data, size, 2);
    const std::string file = fuzz::ScratchPath("update.xml");

    CUpdateList list;
    CUpdateAnswer::Read(parts[0], list);
    list.State();
    if (list.Save(file)) {
        CUpdateList reloaded;
        fuzz::Check(reloaded.Load(file), "a saved list loads");
        fuzz::Check(reloaded.Items().size() == list.Items().size(), "a saved list keeps its items");
        for (size_t i = 0; i < list.Items().size(); ++i)
            fuzz::Check(Same(list.Items()[i], reloaded.Items()[i]), "a saved item reads back");
    }

    fuzz::WriteFile(file, parts[1]);
    CUpdateList stored;
    if (stored.Load(file)) stored.State();
    CUpdateList::FileState(file);
    return 0;
}
