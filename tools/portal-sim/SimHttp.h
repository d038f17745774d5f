// Helpers the simulator's handlers share: request records for the log, the
// MD5 checksum, dropping a connection. Stateless; any thread.
#pragma once

#include <string>

#include "SimJson.h"

namespace httplib {
struct Request;
}

namespace simhttp {

// 32 lower-case hex digits.
std::string Md5Hex(const std::string& data);
// A log record with what every request has: server, endpoint, method, path,
// query parameters, headers and the raw body.
JsonPtr NewRecord(const httplib::Request& req, int server, const std::string& endpoint);
// Shuts the request's connection down so that the client gets no answer at
// all. False when its socket cannot be found.
bool DropConnection(const httplib::Request& req);
std::string ReadFile(const std::string& path, bool* ok);
// Text safe inside an element or a double-quoted attribute.
std::string XmlEscape(const std::string& text);

}  // namespace simhttp
