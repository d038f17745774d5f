#include "StandInUpdater.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

bool StandInUpdater::Write(const std::string& path) const {
    // The record path is ours (a temporary folder): no quote inside it.
    std::ofstream(path, std::ios::trunc)
        << "#!/bin/sh\nprintf '%s\\0' \"$(pwd)\" \"$0\" \"$@\" > '" << m_record << ".tmp' && mv '" << m_record
        << ".tmp' '" << m_record << "'\n";
    return chmod(path.c_str(), 0755) == 0;
}

std::vector<std::string> StandInUpdater::Record(int timeoutMs) const {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (access(m_record.c_str(), F_OK) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(m_record, std::ios::binary);
    std::stringstream record;
    record << in.rdbuf();
    std::vector<std::string> fields;
    for (std::string field; std::getline(record, field, '\0');) fields.push_back(field);
    return fields;
}
