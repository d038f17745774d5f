// Every body the codec builds, decoded the way the simulated portal decodes
// it, passes the simulator's request check for its exchange.
#include <gtest/gtest.h>

#include <string>

#include "PortalParser.h"
#include "SimModule.h"
#include "SimRequestDoc.h"

namespace {

const std::string kBin = VELNOR_BIN_DIR;

TEST(PortalParserWithSimulator, SimulatorAcceptsEveryRequestBody) {
    std::string error;
    std::unique_ptr<CSimModule> module = CSimModule::Load(kBin + "/libsample_algo.so", &error);
    ASSERT_TRUE(module) << error;
    std::string keyId, algoId;
    ASSERT_TRUE(CSimModule::ReadModuleFileIds(kBin + "/zxmAlogic.zxm", keyId, algoId));

    CPortalParser parser;
    parser.Init((kBin + "/zxmAlogic.zxm").c_str());
    const struct {
        const char* exchange;
        CAutoString body;
    } cases[] = {
        {"ticket", parser.MakeTickRequestData("host&amp;1", "ua", "cid", "10.0.0.2", "", "00-11-22-33-44-55",
                                              "T", "linux64")},
        {"login", parser.MakeAuthRequestData("ua", "cid", "13800138000@campus", "p<a>s&s", "tk", "T")},
        {"login", parser.MakeAuthRequestData("ua", "cid", "a]]>b", "p]]>w&<d>", "tk", "T")},
        {"heartbeat", parser.MakeKeepRequestData("ua", "cid", "tk", "10.0.0.2", "", "m", "T", nullptr, 0)},
        {"heartbeat", parser.MakeKeepRequestData("ua", "cid", "tk", "10.0.0.2", "", "m", "T", nullptr, 2)},
        {"logout", parser.MakeTermRequestData("ua", "cid", "tk", "T", "2")},
        {"state", parser.MakeStateRequestData("ua", "cid", "tk", "T")},
        {"terminal", parser.MakeTerminalRequestData("ua", "cid", "T")},
    };
    for (const auto& c : cases) {
        std::string text;
        ASSERT_TRUE(module->Decode(keyId, c.body.c_str(), text)) << c.exchange;
        CSimRequestDoc doc(c.exchange, text);
        EXPECT_TRUE(doc.Ok()) << c.exchange << ": " << (doc.Problems().empty() ? "" : doc.Problems().front());
    }
    // A "]]>" splits the CDATA section in two; the simulator reads the value whole.
    std::string text;
    ASSERT_TRUE(module->Decode(keyId, cases[2].body.c_str(), text));
    CSimRequestDoc doc("login", text);
    EXPECT_EQ(doc.Field("passwd"), "p]]>w&<d>");
    EXPECT_EQ(doc.Field("userid"), "a]]>b");
}

}  // namespace
