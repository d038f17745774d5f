#include "SimHttp.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "UniqueStream.h"

namespace simhttp {

std::string Md5Hex(const std::string& data) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(data.data(), data.size(), digest, &len, EVP_md5(), nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < len; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

JsonPtr NewRecord(const httplib::Request& req, int server, const std::string& endpoint) {
    JsonPtr record(cJSON_CreateObject());
    cJSON_AddNumberToObject(record.get(), "server", server);
    simjson::AddString(record.get(), "endpoint", endpoint);
    simjson::AddString(record.get(), "method", req.method);
    simjson::AddString(record.get(), "path", req.path);
    // httplib also parses form-encoded POST bodies into params; only a GET's are the URL's.
    cJSON* query = cJSON_AddObjectToObject(record.get(), "query");
    if (req.method == "GET") {
        for (const auto& [key, value] : req.params) simjson::AddString(query, key.c_str(), value);
    }
    cJSON* headers = cJSON_AddObjectToObject(record.get(), "headers");
    for (const auto& [key, value] : req.headers) {
        if (key == "REMOTE_ADDR" || key == "REMOTE_PORT" || key == "LOCAL_ADDR" || key == "LOCAL_PORT")
            continue;
        simjson::AddString(headers, key.c_str(), value);
    }
    simjson::AddString(record.get(), "remote_addr", req.remote_addr);
    simjson::AddString(record.get(), "body", req.body);
    return record;
}

namespace {
bool SameEndpoint(const sockaddr_storage& addr, const std::string& host, int port) {
    char text[INET6_ADDRSTRLEN] = {0};
    int got = -1;
    if (addr.ss_family == AF_INET) {
        auto in = reinterpret_cast<const sockaddr_in*>(&addr);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
        got = ntohs(in->sin_port);
    } else if (addr.ss_family == AF_INET6) {
        auto in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof(text));
        got = ntohs(in6->sin6_port);
    }
    return got == port && host == text;
}
}  // namespace

bool DropConnection(const httplib::Request& req) {
    // httplib does not hand the socket to handlers; find it among our own
    // descriptors by its two ends.
    CUniqueDir dir(opendir("/proc/self/fd"));
    if (!dir) return false;
    bool dropped = false;
    while (dirent* entry = readdir(dir.get())) {
        int fd = std::atoi(entry->d_name);
        if (fd <= 2) continue;
        sockaddr_storage local{}, peer{};
        socklen_t localLen = sizeof(local), peerLen = sizeof(peer);
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) != 0) continue;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0) continue;
        if (SameEndpoint(local, req.local_addr, req.local_port) &&
            SameEndpoint(peer, req.remote_addr, req.remote_port)) {
            shutdown(fd, SHUT_RDWR);
            dropped = true;
            break;
        }
    }
    return dropped;
}

std::string ReadFile(const std::string& path, bool* ok) {
    std::ifstream in(path, std::ios::binary);
    if (ok) *ok = static_cast<bool>(in);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace simhttp
