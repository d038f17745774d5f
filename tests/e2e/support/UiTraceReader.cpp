#include "UiTraceReader.h"

#include <algorithm>
#include <fstream>
#include <thread>

void UiTraceReader::Load() {
    std::ifstream in(m_path, std::ios::binary);
    if (!in) {
        return;
    }
    in.seekg(m_offset);
    std::string chunk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    m_offset += static_cast<long>(chunk.size());
    m_partial += chunk;
    size_t end;
    while ((end = m_partial.find('\n')) != std::string::npos) {
        std::string line = m_partial.substr(0, end);
        m_partial.erase(0, end + 1);
        if (line.rfind("STATE ", 0) != 0) {
            continue;
        }
        line.erase(0, 6);
        size_t eq = line.find('=');
        m_entries.emplace_back(line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
    }
}

std::optional<std::string> UiTraceReader::Next(const std::string& key, std::chrono::milliseconds timeout,
                                               const std::optional<std::string>& value) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        Load();
        for (; m_cursor < m_entries.size(); ++m_cursor) {
            const Entry& e = m_entries[m_cursor];
            if (e.first == key && (!value || e.second == *value)) {
                return m_entries[m_cursor++].second;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<UiTraceReader::Entry> UiTraceReader::All() {
    Load();
    return m_entries;
}

std::vector<UiTraceReader::Entry> UiTraceReader::Pending(const std::vector<std::string>& keys) {
    Load();
    std::vector<Entry> out;
    for (size_t i = m_cursor; i < m_entries.size(); ++i) {
        if (keys.empty() || std::find(keys.begin(), keys.end(), m_entries[i].first) != keys.end()) {
            out.push_back(m_entries[i]);
        }
    }
    return out;
}
