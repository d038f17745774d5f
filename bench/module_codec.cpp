// The cost of one encode and one decode through the algorithm module. Each
// call reads the module file and hands it to the module helper process,
// which unpacks it, loads and unloads the object and answers, so these
// figures are mostly that round trip, not the algorithm. The InProcess
// twins make the same call in this process, as the service did before the
// helper existed: the helper's figure should stay within 1.5 times theirs.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "ModuleCall.h"
#include "ZsmHelper.h"
#include "ZsoModule.h"

namespace {

const char* kModule = VELNOR_BIN_DIR "/zxmAlogic.zxm";

std::string Body(size_t size) {
    std::string body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><request><ticket>";
    while (body.size() + 20 < size) body += "0123456789abcdef";
    return body + "</ticket></request>";
}

void BM_Code(benchmark::State& state) {
    CZsmHelper helper(kModule);
    std::string body = Body(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        char* encoded = helper.Code(body.c_str());
        benchmark::DoNotOptimize(encoded);
        if (strcmp(encoded, CZsmHelper::kFallback) == 0)
            state.SkipWithError("no module: build zxmAlogic.zxm first");
        helper.FreeResult(encoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

void BM_DeCode(benchmark::State& state) {
    CZsmHelper helper(kModule);
    std::string body = Body(static_cast<size_t>(state.range(0)));
    char* encoded = helper.Code(body.c_str());
    std::string input = encoded;
    helper.FreeResult(encoded);
    for (auto _ : state) {
        char* decoded = helper.DeCode(input.c_str());
        if (!decoded) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(decoded);
        helper.FreeResult(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

// Read, unpack, load, call and unload, all here.
void InProcess(benchmark::State& state, ModuleWire::EOp op, const std::string& input) {
    for (auto _ : state) {
        ModuleWire::Request request;
        request.op = op;
        request.input = input;
        if (!CZsoModule::ReadFile(kModule, request.module)) state.SkipWithError("no module file");
        ModuleWire::Reply reply = CModuleCall::Run(request);
        if (reply.status != ModuleWire::EStatus::kOk) state.SkipWithError("the call failed");
        benchmark::DoNotOptimize(reply);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
}

void BM_CodeInProcess(benchmark::State& state) {
    InProcess(state, ModuleWire::EOp::kCode, Body(static_cast<size_t>(state.range(0))));
}

void BM_DeCodeInProcess(benchmark::State& state) {
    CZsmHelper helper(kModule);
    char* encoded = helper.Code(Body(static_cast<size_t>(state.range(0))).c_str());
    std::string input = encoded;
    helper.FreeResult(encoded);
    InProcess(state, ModuleWire::EOp::kDeCode, input);
}

void BM_GetAlgoId(benchmark::State& state) {
    CZsmHelper helper(kModule);
    for (auto _ : state) benchmark::DoNotOptimize(helper.GetAlgoId());
}

// Argument: body size in bytes. The helper's work is in another process, so
// the iterations are counted against wall time, not this thread's CPU time.
BENCHMARK(BM_Code)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DeCode)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_GetAlgoId)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_CodeInProcess)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DeCodeInProcess)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
