// CDnsBackup: what one rewrite of the resolver file changed, so that it can
// be undone exactly: the host's lines that were taken out (with their place
// in the file before) and the lines that were put in (with their place
// after). A plain value; not shared between threads.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class CDnsBackup {
public:
    struct Line {
        size_t m_nIndex;
        std::string m_strText;  // the whole line, line end included
    };

    // One line of printable ASCII with no blanks inside fields and no XML
    // specials; Decode accepts exactly what Encode produces.
    std::string Encode() const;
    bool Decode(const char* text);

    // Takes the written lines out of lines and puts the displaced ones back
    // where they stood. false (lines unchanged) when none of the written lines
    // is there any more: then the file was replaced since, or never written.
    bool Undo(std::vector<std::string>& lines) const;

    std::vector<Line> m_displaced;
    std::vector<Line> m_written;
    // The first two servers displaced, as handed back to the caller.
    std::string m_strFirst;
    std::string m_strSecond;
};
