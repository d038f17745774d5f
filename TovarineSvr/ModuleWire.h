// The messages between the service and VelnorAlgoHost, its module helper,
// over one stream socket. A frame is a 4-byte little-endian length and that
// many bytes; a request carries the whole module file with it, so the
// helper needs to open nothing. One request, then one reply, at a time.
#pragma once

#include <cstdint>
#include <string>

#include "ZsoModule.h"

namespace ModuleWire {

enum class EOp : uint8_t { kAlgoId = 1, kCode, kDeCode, kTrial };
enum class EStatus : int32_t { kOk = 0, kNoModule, kNoExport, kCallFailed };

struct Request {
    EOp op = EOp::kAlgoId;
    std::string module;  // the module file's bytes
    std::string input;
};

struct Reply {
    EStatus status = EStatus::kNoModule;
    int32_t code = 0;     // the module's own result with kCallFailed
    bool retire = false;  // the helper ends after this reply
    std::string text;
};

// The largest decoded text the helper passes back.
constexpr uint32_t kMaxText = 64u << 20;
constexpr uint32_t kMaxFrame = static_cast<uint32_t>(CZsoModule::kMaxFileSize) + 2 * kMaxText + 64;

std::string Encode(const Request& request);
std::string Encode(const Reply& reply);
bool Decode(const std::string& frame, Request& request);
bool Decode(const std::string& frame, Reply& reply);

// Whole frames on a socket. With a deadline (milliseconds of
// CLOCK_MONOTONIC, -1 for none) each step waits at most until then; the
// socket must then be non-blocking. False on a closed peer, an error, an
// oversized frame or the deadline.
bool WriteFrame(int fd, const std::string& frame, int64_t deadlineMs = -1);
bool ReadFrame(int fd, std::string& frame, int64_t deadlineMs = -1);
int64_t NowMs();

}  // namespace ModuleWire
