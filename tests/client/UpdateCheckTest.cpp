// The background update check against the portal simulator: what it lists,
// downloads and stages, and what it refuses.
#include <filesystem>

#include "UpdateFixture.h"

namespace fs = std::filesystem;

class UpdateCheckTest : public UpdateFixture {};

namespace {
size_t Count(const std::string& text, const std::string& piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
    return count;
}
}  // namespace

TEST_F(UpdateCheckTest, WithoutAnAddressEachAttemptSaysSoAndNothingIsWritten) {
    EXPECT_EQ(RunCheck(), "update url is null\nupdate url is null\nupdate url is null\n");
    EXPECT_TRUE(fs::is_directory(Staged("")));
    EXPECT_TRUE(fs::is_empty(Staged("")));
}

TEST_F(UpdateCheckTest, ListsDownloadsAndStagesEveryPackageOnce) {
    StartSim(Packages({}));
    const std::string core = ServerUrl() + "/download/core";
    struct Case {
        const char* what;
        std::vector<std::string> packages;
        std::vector<std::string> names;      // listed, in order
        std::vector<std::string> downloads;  // path and query of each request
        std::string content;                 // of the first package file
    } cases[] = {
        {"two package sets",
         {Package("core", "0123456789"), Package("gui", "abc")},
         {"core", "gui"},
         {"/download/core{}", "/download/gui{}"},
         "0123456789"},
        {"binfile and exefile",
         {Package("core", "bin", "\"kind\":\"both\",\"exe_url\":\"" + core + "?via=exe&x=1\"")},
         {"core"},
         {"/download/core{\"via\":\"exe\",\"x\":\"1\"}"},
         "bin"},
        {"one package twice, same address",
         {Package("core", "same"), Package("core", "same")},
         {"core"},
         {"/download/core{}"},
         "same"},
        {"one package twice, another address",
         {Package("core", "one", "\"url\":\"" + core + "?set=1\""),
          Package("core", "two", "\"url\":\"" + core + "?set=2\"")},
         {"core"},
         {"/download/core{\"set\":\"2\"}"},
         "two"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Staged(""));
        StartSim(Packages(c.packages));
        RunCheck();
        ASSERT_EQ(Requests("update").size(), 1u);
        std::vector<std::string> names, downloads;
        CUpdateList list = List();
        for (const CUpdateItem& item : list.Items()) {
            names.push_back(item.name);
            EXPECT_EQ(item.state, CUpdateList::kDownloaded);
            EXPECT_EQ(item.text, Staged(item.name + ".tar.gz"));
        }
        for (const SimRequest& request : Requests("download"))
            downloads.push_back(request.path + request.query);
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(downloads, c.downloads);
        EXPECT_EQ(ReadFile(Staged(c.names[0] + ".tar.gz")), c.content);
        EXPECT_EQ(ReadFile(Staged("Korvast")), ReadFile(m_install + "/Korvast"));
        EXPECT_EQ(ReadFile(Staged("libs/sub/libupdate.so")), "library");
        EXPECT_TRUE(Exists(Staged("install.xml")));
    }
}

TEST_F(UpdateCheckTest, ResumesAPartialPackageAndKeepsACompleteOneWithoutAsking) {
    StartSim(Packages({Package("core", "0123456789abcdef")}));
    fs::create_directories(Staged(""));
    WriteFile(Staged("core.tar.gz"), "012345");
    RunCheck();
    ASSERT_EQ(Requests("download").size(), 1u);
    EXPECT_EQ(Requests("download")[0].range, "bytes=6-");
    EXPECT_EQ(ReadFile(Staged("core.tar.gz")), "0123456789abcdef");
    // The next answer lists it again: the file is already the package.
    StartSim(Packages({Package("core", "0123456789abcdef")}));
    RunCheck();
    EXPECT_EQ(Requests("update").size(), 1u);
    EXPECT_TRUE(Requests("download").empty());
    EXPECT_EQ(List().State(), CUpdateList::kAllDownloaded);
}

TEST_F(UpdateCheckTest, OnlyAVerifiedPackageCountsAsDownloaded) {
    const struct {
        const char* what;
        std::string extra;   // more package attributes
        std::string faults;  // on the download endpoint
        const char* partial;
        bool downloaded;
        const char* left;  // the package file afterwards; null: none
        std::vector<std::string> ranges;
    } cases[] = {
        {"not found", "", "{\"http_status\":404}", "", false, "", {"", "", ""}},
        {"cut off", "", "{\"truncate_after\":4}", "", false, "0123", {"", "bytes=4-", "bytes=4-"}},
        {"wrong digest",
         "\"md5\":\"00000000000000000000000000000000\"",
         "{}",
         "",
         false,
         nullptr,
         {"", "", "", "", "", ""}},
        {"Range ignored", "", "{\"ignore_range\":true}", "012345", true, "0123456789", {"bytes=6-", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Staged(""));
        fs::create_directories(Staged(""));
        if (*c.partial) WriteFile(Staged("core.tar.gz"), c.partial);
        StartSim(Packages({Package("core", "0123456789", c.extra)}), "{\"download\":" + c.faults + "}");
        RunCheck();
        ASSERT_EQ(List().Items().size(), 1u);
        EXPECT_EQ(List().Items()[0].state == CUpdateList::kDownloaded, c.downloaded);
        EXPECT_EQ(Exists(Staged("Korvast")), c.downloaded);
        EXPECT_EQ(Exists(Staged("core.tar.gz")), c.left != nullptr);
        if (c.left) {
            EXPECT_EQ(ReadFile(Staged("core.tar.gz")), c.left);
        }
        std::vector<std::string> ranges;
        for (const SimRequest& request : Requests("download")) ranges.push_back(request.range);
        EXPECT_EQ(ranges, c.ranges);
    }
}

TEST_F(UpdateCheckTest, AnAnswerWithoutPackagesClearsOnlyTheStagingFolder) {
    const std::pair<const char*, const char*> answers[] = {
        {"<response><pkgxmls/></response>", ""},
        {"<response/>", "response or pkgxmls not found.\n"},
    };
    for (const auto& [answer, printed] : answers) {
        SCOPED_TRACE(answer);
        fs::create_directories(Staged("libs"));
        for (const char* name : {"Korvast", "core.tar.gz", "update.xml", "libs/lib.so", "notes"})
            WriteFile(Staged(name), "old");
        StartSim(std::string("{\"answer\":\"") + answer + "\"}");
        EXPECT_EQ(RunCheck(), printed);
        EXPECT_TRUE(fs::is_directory(Staged("")));
        EXPECT_TRUE(fs::is_empty(Staged("")));
        for (const char* name : {"Korvast", "conf/conf.xml", "libs/sub/libupdate.so"})
            EXPECT_TRUE(Exists(m_install + "/" + name)) << name;
    }
}

TEST_F(UpdateCheckTest, APackageNameThatIsNoPlainFileNameIsSkipped) {
    StartSim(Packages({Package("ok", "good")}));
    std::string answer = "<response><pkgxmls>";
    for (const char* name : {"../../evil", "a/b", "..", "ok", "evil name"})
        answer += std::string("<pkgxml><pkglist><pkg name=\\\"") + name + "\\\"><pfile><binfile>" +
                  ServerUrl() + "/download/ok</binfile></pfile></pkg></pkglist></pkgxml>";
    answer += "<pkgxml><pkglist><pkg name=\\\"" + std::string(65, 'e') + "\\\"/></pkglist></pkgxml>";
    StartSim("{\"packages\":[" + Package("ok", "good") + "],\"answer\":\"" + answer +
             "</pkgxmls></response>\"}");
    std::string printed = RunCheck();
    EXPECT_EQ(Count(printed, "skip package"), 5u) << printed;
    ASSERT_EQ(List().Items().size(), 1u);
    EXPECT_EQ(List().Items()[0].name, "ok");
    for (const auto& entry : fs::recursive_directory_iterator(m_root.Path()))
        EXPECT_EQ(entry.path().filename().string().find("evil"), std::string::npos) << entry.path();
}

TEST_F(UpdateCheckTest, QueryValuesArriveWholeWhateverTheyHold) {
    StartSim(Packages({}));
    m_info.SetGlobalValue("account", "a&version=9 #+\xe5\xad\xa6");
    // A plain address (no quotes) with a query of its own.
    m_info.SetGlobalValue("FUN_Update", (ServerUrl() + "/update?from=portal").c_str());
    RunCheck();
    ASSERT_EQ(Requests("update").size(), 1u);
    EXPECT_EQ(
        Requests("update")[0].query,
        "{\"cid\":\"S0001\",\"clientid\":\"0123456789abcdef\",\"dialaccount\":\"a&version=9 #+\xe5\xad\xa6\","
        "\"from\":\"portal\",\"keyword\":\"(auto)\",\"version\":\"2.0.1\"}");
}
