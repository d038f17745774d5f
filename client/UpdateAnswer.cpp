#include "UpdateAnswer.h"

#include <cstdio>
#include <cstdlib>

#include "Markup.h"
#include "StagingDir.h"
#include "UpdateList.h"

namespace {

// The size as the list keeps it: decimal, "0" when absent or not a number.
std::string SizeText(const CAutoString& attribute) {
    char* end = nullptr;
    long long size = strtoll(attribute.c_str(), &end, 10);
    return std::to_string(end != attribute.c_str() && size > 0 ? size : 0);
}

}  // namespace

int CUpdateAnswer::Read(const std::string& answer, CUpdateList& list) {
    CMarkup doc(answer.c_str());
    if (!doc.FindElem("response") || !doc.IntoElem() || !doc.FindElem("pkgxmls") || !doc.IntoElem()) {
        printf("response or pkgxmls not found.\n");
        return 0;
    }
    int packages = 0;
    while (doc.FindElem("pkgxml")) {
        // Each set is read as a document of its own, as the server means it.
        CMarkup set(doc.GetSubDoc().c_str());
        if (!set.FindElem("pkgxml") || !set.IntoElem() || !set.FindElem("pkglist") || !set.IntoElem() ||
            !set.FindElem("pkg")) {
            continue;
        }
        std::string name = set.GetAttrib("name").c_str();
        if (!CStagingDir::IsSafeName(name)) {
            printf("skip package \"%s\": not a plain file name\n", name.c_str());
            continue;
        }
        ++packages;
        set.IntoElem();
        if (!set.FindElem("pfile")) continue;
        for (const char* kind : {"binfile", "exefile"}) {
            set.ResetChildPos();
            if (!set.FindChildElem(kind)) continue;
            list.Record(name, set.GetChildData().c_str(), set.GetChildAttrib("md5").c_str(),
                        SizeText(set.GetChildAttrib("size")));
        }
    }
    return packages;
}
