// StandInUpdater: a shell script that plays the updater "Korvast" in tests.
// It writes its working directory, its $0 and each argument, NUL-separated,
// into a record file (renamed into place, so the record appears whole).
// Any test thread.
#pragma once

#include <string>
#include <vector>

class StandInUpdater {
public:
    explicit StandInUpdater(std::string recordFile) : m_record(std::move(recordFile)) {}

    // Writes the executable script at path; false when it cannot.
    bool Write(const std::string& path) const;
    // The fields of the record; empty when none appeared within timeoutMs.
    std::vector<std::string> Record(int timeoutMs = 5000) const;

private:
    std::string m_record;
};
