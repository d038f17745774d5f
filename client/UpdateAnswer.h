// CUpdateAnswer: reads the update server's answer, "response" / "pkgxmls" /
// "pkgxml"* / "pkglist" / "pkg name=.." / "pfile" / "binfile" and "exefile"
// (address as text, "size" and "md5" as attributes), into the download
// list. Pure function of its input; any thread.
#pragma once

#include <string>

class CUpdateList;

class CUpdateAnswer {
public:
    // Records every file of every package whose name is safe as a file
    // name (others are skipped with a printed line) and returns the number
    // of packages taken; 0 also when "response" or "pkgxmls" is missing.
    static int Read(const std::string& answer, CUpdateList& list);
};
