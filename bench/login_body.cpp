// The cost of preparing one login request: building the XML body, encoding
// it through the algorithm module and building the header block with its MD5
// checksum (which asks the module for its identifier once more). Both module
// calls load and unload the module, so that round trip dominates; the
// XML-only and MD5-only figures show what is left.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "AuthConfig.h"
#include "Markup.h"
#include "Md5.h"
#include "PortalParser.h"
#include "ZsmHelper.h"

namespace {

const char* kModule = VELNOR_BIN_DIR "/zxmAlogic.zxm";

CAuthConfig SampleConfig() {
    CAuthConfig config;
    config.strUserAgent = "VXRA/Linux64/1.0.0";
    config.strClientId = "6f1c2a9e4b7d4c3a8e5f0a1b2c3d4e5f";
    config.strTicket = "T-2f7c9a1e-5b3d-4e8f-a6c2-9d1b7e4f3a50";
    config.userName = "13800138000@campus";
    config.password = "pa<ss>&word]]>";
    config.schoolId = "1001";
    config.domain = "campus";
    config.area = "north";
    return config;
}

void BM_LoginBodyAndHead(benchmark::State& state) {
    CPortalParser parser;
    parser.Init(kModule);
    CAuthConfig config = SampleConfig();
    for (auto _ : state) {
        CAutoString body =
            parser.MakeAuthRequestData(config.strUserAgent, config.strClientId, config.userName,
                                       config.password, config.strTicket, "2026-12-06 18:00:00");
        CAutoString head = parser.GetRequestHead(config, body);
        benchmark::DoNotOptimize(head.GetBuffer());
        if (strcmp(body, CZsmHelper::kFallback) == 0)
            state.SkipWithError("no module: build zxmAlogic.zxm first");
    }
}

// The document alone, without the module.
void BM_LoginDocumentOnly(benchmark::State& state) {
    CAuthConfig config = SampleConfig();
    for (auto _ : state) {
        CMarkup doc("<?xml version=\"1.0\" encoding=\"UTF-8\"?><request></request>");
        doc.FindElem("request");
        doc.InsertChildElem("user-agent", config.strUserAgent);
        doc.InsertChildElem("client-id", config.strClientId);
        doc.InsertChildElem("userid", config.userName, MNF_WITHCDATA);
        doc.InsertChildElem("passwd", config.password, MNF_WITHCDATA);
        doc.InsertChildElem("ticket", config.strTicket);
        doc.InsertChildElem("local-time", "2026-12-06 18:00:00");
        CAutoString text = doc.GetDoc();
        benchmark::DoNotOptimize(text.GetBuffer());
    }
}

// The checksum of an encoded body of the login's size.
void BM_BodyChecksum(benchmark::State& state) {
    std::string body(static_cast<size_t>(state.range(0)), 'a');
    for (auto _ : state) benchmark::DoNotOptimize(Md5Hex(body.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}

BENCHMARK(BM_LoginBodyAndHead)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoginDocumentOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BodyChecksum)->Arg(600)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
