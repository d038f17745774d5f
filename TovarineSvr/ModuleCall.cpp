#include "ModuleCall.h"

#include <climits>
#include <cstring>
#include <memory>

namespace {

using ModuleWire::EStatus;
using ModuleWire::Reply;
using CodeFn = char* (*)(const char*);
using FreeFn = void (*)(char*);
using PrepareCb = void (*)(const char*, const char*, void*);
using PrepareFn = int (*)(const char*, const char*, PrepareCb, void*);

// What the callback fills in. capacity is the buffer's real size and stays
// fixed: a module that calls back more than once can never make the
// callback copy past it, whatever sizes it reported before.
struct PrepareContext {
    int status = 0;
    unsigned int size = 0;
    char* buffer = nullptr;
    unsigned int capacity = 0;
    int calls = 0;
};

Reply Status(EStatus status, int32_t code = 0) {
    Reply reply;
    reply.status = status;
    reply.code = code;
    return reply;
}

}  // namespace

Reply CModuleCall::Run(const ModuleWire::Request& request) {
    std::unique_ptr<CZsoModule> module = CZsoModule::Open(request.module);
    if (!module) return Status(EStatus::kNoModule);
    Reply reply = Run(*module, request.op, request.input);
    reply.retire = !module->Unload();
    return reply;
}

Reply CModuleCall::Run(CZsoModule& module, ModuleWire::EOp op, const std::string& input) {
    switch (op) {
        case ModuleWire::EOp::kAlgoId: {
            Reply reply = Status(EStatus::kOk);
            reply.text = module.AlgoId();
            return reply;
        }
        case ModuleWire::EOp::kCode:
            return Code(module, input);
        case ModuleWire::EOp::kDeCode:
            return DeCode(module, input);
        case ModuleWire::EOp::kTrial:
            return Trial(module);
    }
    return Status(EStatus::kNoExport);
}

Reply CModuleCall::Code(CZsoModule& module, const std::string& input) {
    auto code = reinterpret_cast<CodeFn>(module.Symbol("Code"));
    if (!code) return Status(EStatus::kNoExport);
    char* result = code(input.c_str());
    if (!result) return Status(EStatus::kCallFailed);
    Reply reply = Status(EStatus::kOk);
    reply.text = result;
    if (auto release = reinterpret_cast<FreeFn>(module.Symbol("FreeResult"))) release(result);
    return reply;
}

Reply CModuleCall::DeCode(CZsoModule& module, const std::string& input) {
    auto prepare = reinterpret_cast<PrepareFn>(module.Symbol("Prepare"));
    if (!prepare) return Status(EStatus::kNoExport);
    const char* keyid = module.KeyId().c_str();

    // First pass only measures: the callback reports the decoded size.
    PrepareContext measure;
    int result = prepare(keyid, input.c_str(), PrepareCallback, &measure);
    if (result != 1) return Status(EStatus::kCallFailed, result);
    if (measure.calls == 0 || measure.size == 0 || measure.size > ModuleWire::kMaxText)
        return Status(EStatus::kCallFailed, -1);

    std::unique_ptr<char[]> buffer(new char[measure.size]());
    PrepareContext fill;
    fill.size = measure.size;
    fill.capacity = measure.size;
    fill.buffer = buffer.get();
    result = prepare(keyid, input.c_str(), PrepareCallback, &fill);
    if (result != 1 || fill.status != 0 || fill.calls == 0)
        return Status(EStatus::kCallFailed, result != 1 ? result : -1);
    buffer[measure.size - 1] = '\0';
    Reply reply = Status(EStatus::kOk);
    reply.text = buffer.get();
    return reply;
}

Reply CModuleCall::Trial(CZsoModule& module) {
    Reply encoded = Code(module, kTrialText);
    if (encoded.status != EStatus::kOk) return encoded;
    Reply decoded = DeCode(module, encoded.text);
    if (decoded.status != EStatus::kOk) return decoded;
    if (decoded.text != kTrialText) return Status(EStatus::kCallFailed, -1);
    Reply reply = Status(EStatus::kOk);
    reply.text = module.AlgoId();
    return reply;
}

void CModuleCall::PrepareCallback(const char* /*strPrefix*/, const char* strKey, void* data) {
    auto* context = static_cast<PrepareContext*>(data);
    if (!context) return;
    ++context->calls;
    size_t length = strKey ? strlen(strKey) : 0;
    if (!strKey || length >= UINT_MAX) {
        context->status = -1;
        return;
    }
    if (context->buffer && length + 1 <= context->capacity) {
        memcpy(context->buffer, strKey, length + 1);
    } else {
        context->status = -1;
    }
    context->size = static_cast<unsigned int>(length + 1);
}
