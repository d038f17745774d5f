#include "WindowRun.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "SampleSim.h"
#include "ServiceLauncher.h"

namespace fs = std::filesystem;

void WindowRun::SetUp() {
    std::string missing, error;
    if (!XSession::Available(&missing)) GTEST_SKIP() << "no headless display: missing " << missing;
    if (!NetNamespace::CanCreate()) GTEST_SKIP() << "needs root and the ip tool to create network namespaces";
    ASSERT_TRUE(m_ns.Create(&error)) << error;
    ASSERT_TRUE(m_x.Start(&error)) << error;
    m_trace = std::make_unique<UiTraceReader>(m_dir / "trace");
    m_pilot = std::make_unique<WindowPilot>(m_x, *m_trace);
}

void WindowRun::TearDown() {
    if (HasFailure()) std::cout << "---- client output ----\n" << ClientOutput();
    m_client.Stop(milliseconds(2000));
    // The service the client started outlives it when the client ended by itself.
    if (m_install) StopRecordedService(m_install->Path().c_str());
}

bool WindowRun::StartSim(const std::string& patchJson) {
    m_sim = StartSampleSim(m_dir / "sim", m_ns.Name(), patchJson);
    return m_sim != nullptr;
}

bool WindowRun::Install(const std::string& clientXmlExtra) {
    m_install = std::make_unique<InstallDir>(m_dir / "velnor");
    InstallDir::Options options;
    options.redirect = m_sim ? m_sim->ProbeUrl() : "";
    options.moduleFile = std::string(VELNOR_BIN_DIR) + "/zxmAlogic.zxm";
    std::string error;
    if (!m_install->Prepare(options, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    std::error_code ec;
    fs::copy_file(VELNOR_BIN_DIR "/VelnorClient", m_install->File("VelnorClient"), ec);
    fs::copy(VELNOR_SOURCE_DIR "/assets/image", m_install->File("image"), ec);
    fs::copy_file(VELNOR_SOURCE_DIR "/assets/conf/code.xml", m_install->File("conf/code.xml"), ec);
    std::string extra = clientXmlExtra;
    if (extra.find("<pingAddress>") == std::string::npos)
        extra += std::string("<pingAddress>") + NetNamespace::ServerAddress() + "</pingAddress>";
    std::ofstream(m_install->File("conf/client.xml"))
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<client>" << extra << "</client>\n";
    if (ec) ADD_FAILURE() << "cannot lay out the client: " << ec.message();
    return !ec;
}

bool WindowRun::StartClient() {
    setenv("VELNOR_UI_TRACE", m_trace->Path().c_str(), 1);
    ChildProcess::Options options;
    // GTK keeps caches until exit; the client ends by a signal anyway.
    options.argv = m_ns.Wrap({"env", "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1", "./VelnorClient"});
    options.cwd = m_install->Path();
    options.outputFile = m_dir / "client.out";
    std::string error;
    if (!m_client.Start(options, &error)) {
        ADD_FAILURE() << error;
        return false;
    }
    if (m_pilot->WaitShown(kWait)) return true;
    ADD_FAILURE() << "the window was not shown";
    return false;
}

bool WindowRun::StartAnotherClient(ChildProcess& child, const std::string& outputName) {
    ChildProcess::Options options;
    options.argv = {"./VelnorClient"};
    options.cwd = m_install->Path();
    options.outputFile = m_dir / outputName;
    std::string error;
    if (child.Start(options, &error)) return true;
    ADD_FAILURE() << error;
    return false;
}

void WindowRun::LogIn(const std::string& account, const std::string& password) {
    EXPECT_TRUE(m_pilot->TypeAccount(account));
    EXPECT_TRUE(m_pilot->TypePassword(password));
    EXPECT_TRUE(m_pilot->ClickButton());
}

std::string WindowRun::ClientOutput() const {
    std::ifstream in(m_dir / "client.out");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
