// The cost of one encode and one decode through the algorithm module. Each
// call reads the module file and hands it to the module helper process,
// which unpacks it, loads and unloads the object and answers, so these
// figures are mostly that round trip, not the algorithm.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "ZsmHelper.h"

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

void BM_GetAlgoId(benchmark::State& state) {
    CZsmHelper helper(kModule);
    for (auto _ : state) benchmark::DoNotOptimize(helper.GetAlgoId());
}

// Argument: body size in bytes.
BENCHMARK(BM_Code)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DeCode)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetAlgoId)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
