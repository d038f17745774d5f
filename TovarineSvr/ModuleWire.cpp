#include "ModuleWire.h"

#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace ModuleWire {
namespace {

void PutU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i));
}

// Reads sequentially from a frame; every read is checked against what is left.
class CReader {
public:
    explicit CReader(const std::string& data) : m_data(data) {}
    bool Byte(uint8_t& value) {
        if (m_pos >= m_data.size()) return false;
        value = static_cast<uint8_t>(m_data[m_pos++]);
        return true;
    }
    bool U32(uint32_t& value) {
        if (m_data.size() - m_pos < 4) return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(static_cast<unsigned char>(m_data[m_pos + i])) << (8 * i);
        m_pos += 4;
        return true;
    }
    bool Text(std::string& text) {
        uint32_t size = 0;
        if (!U32(size) || size > m_data.size() - m_pos) return false;
        text.assign(m_data, m_pos, size);
        m_pos += size;
        return true;
    }
    bool AtEnd() const { return m_pos == m_data.size(); }

private:
    const std::string& m_data;
    size_t m_pos = 0;
};

void PutText(std::string& out, const std::string& text) {
    PutU32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

// Waits until fd is ready for events; false at the deadline.
bool Wait(int fd, short events, int64_t deadlineMs) {
    if (deadlineMs < 0) return true;
    for (;;) {
        int64_t left = deadlineMs - NowMs();
        if (left <= 0) return false;
        struct pollfd entry = {fd, events, 0};
        int ready = poll(&entry, 1, static_cast<int>(left));
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

bool Transfer(int fd, char* data, size_t size, bool writing, int64_t deadlineMs) {
    size_t done = 0;
    while (done < size) {
        if (!Wait(fd, writing ? POLLOUT : POLLIN, deadlineMs)) return false;
        ssize_t moved =
            writing ? send(fd, data + done, size - done, MSG_NOSIGNAL) : read(fd, data + done, size - done);
        if (moved < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (moved <= 0) return false;
        done += static_cast<size_t>(moved);
    }
    return true;
}

}  // namespace

int64_t NowMs() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

std::string Encode(const Request& request) {
    std::string out(1, static_cast<char>(request.op));
    PutText(out, request.module);
    PutText(out, request.input);
    return out;
}

std::string Encode(const Reply& reply) {
    std::string out;
    PutU32(out, static_cast<uint32_t>(reply.status));
    PutU32(out, static_cast<uint32_t>(reply.code));
    out += static_cast<char>(reply.retire ? 1 : 0);
    PutText(out, reply.text);
    return out;
}

bool Decode(const std::string& frame, Request& request) {
    CReader reader(frame);
    uint8_t op = 0;
    if (!reader.Byte(op) || op < static_cast<uint8_t>(EOp::kAlgoId) || op > static_cast<uint8_t>(EOp::kTrial))
        return false;
    request.op = static_cast<EOp>(op);
    return reader.Text(request.module) && reader.Text(request.input) && reader.AtEnd();
}

bool Decode(const std::string& frame, Reply& reply) {
    CReader reader(frame);
    uint32_t status = 0, code = 0;
    uint8_t retire = 0;
    if (!reader.U32(status) || !reader.U32(code) || !reader.Byte(retire)) return false;
    if (status > static_cast<uint32_t>(EStatus::kCallFailed) || retire > 1) return false;
    reply.status = static_cast<EStatus>(status);
    reply.code = static_cast<int32_t>(code);
    reply.retire = retire == 1;
    return reader.Text(reply.text) && reader.AtEnd();
}

bool WriteFrame(int fd, const std::string& frame, int64_t deadlineMs) {
    if (frame.size() > kMaxFrame) return false;
    std::string out;
    out.reserve(frame.size() + 4);
    PutU32(out, static_cast<uint32_t>(frame.size()));
    out += frame;
    return Transfer(fd, &out[0], out.size(), true, deadlineMs);
}

bool ReadFrame(int fd, std::string& frame, int64_t deadlineMs) {
    char head[4];
    if (!Transfer(fd, head, sizeof(head), false, deadlineMs)) return false;
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) size |= static_cast<uint32_t>(static_cast<unsigned char>(head[i])) << (8 * i);
    if (size > kMaxFrame) return false;
    frame.assign(size, '\0');
    return size == 0 || Transfer(fd, &frame[0], size, false, deadlineMs);
}

}  // namespace ModuleWire
