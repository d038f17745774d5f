// UiTraceReader: reads the window's trace file ("STATE key=value" lines) as
// it grows. Waits poll the file every 20 ms up to a time limit; each wait
// continues after the line the previous one returned. One thread.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class UiTraceReader {
public:
    using Entry = std::pair<std::string, std::string>;  // key, value

    explicit UiTraceReader(std::string path) : m_path(std::move(path)) {}
    const std::string& Path() const { return m_path; }

    // The value of the next line with this key (and this value, when given).
    std::optional<std::string> Next(const std::string& key, std::chrono::milliseconds timeout,
                                    const std::optional<std::string>& value = std::nullopt);
    bool WaitFor(const std::string& key, const std::string& value, std::chrono::milliseconds timeout) {
        return Next(key, timeout, value).has_value();
    }
    // Every line read so far and those in the file now.
    std::vector<Entry> All();
    // Lines after the cursor (not moving it), keys filtered when given.
    std::vector<Entry> Pending(const std::vector<std::string>& keys = {});

private:
    void Load();

    std::string m_path;
    std::vector<Entry> m_entries;
    size_t m_cursor = 0;
    std::string m_partial;
    long m_offset = 0;
};
