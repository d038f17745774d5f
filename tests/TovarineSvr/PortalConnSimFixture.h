// A portal session against the portal simulator on 127.0.0.1, with the
// sample algorithm module on both sides. The simulator runs as its own
// process for the test's lifetime; its request log tells what was sent.
#pragma once

#include <cjson/cJSON.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "PortalConnFixture.h"
#include "PortalSimProcess.h"

class PortalConnSimTest : public PortalConnTest {
protected:
    static std::string Bin(const std::string& name) { return std::string(VELNOR_BIN_DIR) + "/" + name; }
    static std::string SampleZxm() { return Bin("zxmAlogic.zxm"); }

    // Starts the simulator; extra holds more top-level scenario members.
    void StartSim(const std::string& extra = "") {
        PortalSimOptions options;
        options.workDir = m_dir / "sim";
        std::filesystem::create_directories(options.workDir);
        options.module = Bin("libsample_algo.so");
        options.scenarioJson = "{\"module\":{\"zxm\":\"" + SampleZxm() + "\"}" + (extra.empty() ? "" : ",") + extra + "}";
        m_sim = std::make_unique<PortalSimProcess>(options);
        std::string error;
        ASSERT_TRUE(m_sim->Start(&error)) << error;
    }

    // The session probes the simulator; withModule installs the sample module.
    void MakeSimConn(bool withModule = true, std::vector<std::pair<std::string, std::string>> local = {}) {
        local.push_back({"redirect", m_sim->ProbeUrl()});
        MakeConn(local);
        std::string module = m_dir / "zxmAlogic.zxm";
        if (withModule) std::filesystem::copy_file(SampleZxm(), module);
        m_conn->GetParser().Init(module.c_str());
    }

    // Configuration and ticket, as the work loop does before a login.
    void Prepare() {
        ASSERT_EQ(m_conn->RequestConfig(0), 1);
        ASSERT_EQ(m_conn->RequestTicket(), 1);
    }

    static std::string LoginMessage(const std::string& user, const std::string& password = "secret") {
        return "<M><OpS>NetModule</OpS><OpT>Portal</OpT><OpC>PortalConnect</OpC><P><user>" + user +
               "</user><password>" + password + "</password></P></M>";
    }

    void LogIn(const std::string& user = "alice") {
        Prepare();
        ASSERT_EQ(m_conn->Connect(LoginMessage(user).c_str()), 1);
    }

    // Requests the simulator logged for one endpoint, oldest first.
    struct Record {
        int server = -1;
        int errorCode = -1;  // -1 when the answer had none
        std::string algoId;
        std::string path;
    };
    std::vector<Record> Records(const std::string& endpoint) {
        std::vector<Record> records;
        std::string json = m_sim->Requests(endpoint);
        cJSON* array = cJSON_Parse(json.c_str());
        const cJSON* item = nullptr;
        cJSON_ArrayForEach(item, array) {
            Record r;
            const cJSON* server = cJSON_GetObjectItemCaseSensitive(item, "server");
            if (cJSON_IsNumber(server)) r.server = server->valueint;
            const cJSON* code = cJSON_GetObjectItemCaseSensitive(item, "error_code");
            if (cJSON_IsNumber(code)) r.errorCode = code->valueint;
            const cJSON* path = cJSON_GetObjectItemCaseSensitive(item, "path");
            if (cJSON_IsString(path)) r.path = path->valuestring;
            const cJSON* headers = cJSON_GetObjectItemCaseSensitive(item, "headers");
            const cJSON* algo = cJSON_GetObjectItemCaseSensitive(headers, "Algo-ID");
            if (cJSON_IsString(algo)) r.algoId = algo->valuestring;
            records.push_back(r);
        }
        cJSON_Delete(array);
        return records;
    }

    // Published keys in the order they were sent.
    std::vector<std::string> PublishedKeys() const {
        std::vector<std::string> keys;
        for (const auto& m : m_host.Msgs("InfoCenter")) {
            size_t end = m.param.find("</key>");
            keys.push_back(m.param.substr(5, end - 5));
        }
        return keys;
    }

    std::unique_ptr<PortalSimProcess> m_sim;
};
