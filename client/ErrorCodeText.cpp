#include "ErrorCodeText.h"

#include <cstdio>

#include "Markup.h"
#include "SimpleFile.h"

namespace {

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string out;
    size_t start = 0;
    for (size_t found; (found = text.find(from, start)) != std::string::npos; start = found + from.size())
        out.append(text, start, found - start).append(to);
    return out.append(text, start, std::string::npos);
}

}  // namespace

CErrorCodeText* CErrorCodeText::GetInst() {
    static CErrorCodeText instance;
    return &instance;
}

bool CErrorCodeText::Load(const char* path) {
    std::string file;
    if (path) {
        file = path;
    } else {
        char directory[1024] = {0};
        CSimpleFile::GetModulePath(directory, sizeof(directory));
        file = std::string(directory) + "/conf/code.xml";
    }
    std::map<std::string, std::string> texts;
    CMarkup document;
    bool loaded = false;
    if (!document.Load(file.c_str())) {
        printf("load file %s failed! \n", file.c_str());
    } else if (!document.FindElem("code")) {
        printf("code not found! ");
    } else {
        document.IntoElem();
        while (document.FindElem("err"))
            texts.emplace(document.GetAttrib("id").c_str(), document.GetAttrib("value").c_str());
        loaded = true;
    }
    fflush(stdout);
    std::lock_guard<std::mutex> guard(m_lock);
    m_texts.swap(texts);
    return loaded;
}

CAutoString CErrorCodeText::GetText(long code, const char* subErrCode, const char* extra) {
    std::string key = std::to_string(code);
    if (subErrCode && *subErrCode) key += std::string(".") + subErrCode;
    std::lock_guard<std::mutex> guard(m_lock);
    auto found = m_texts.find(key);
    if (found == m_texts.end()) {
        CAutoString fallback;
        fallback.Format("错误码：%ld", code);
        return fallback;
    }
    return CAutoString(ReplaceAll(found->second, "%s", extra ? extra : "").c_str());
}
