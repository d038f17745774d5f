// WindowRun: one end-to-end run of the desktop client: a network namespace
// with the portal simulator serving inside it, a headless X display, an
// installation directory with both programs, and VelnorClient started
// inside the namespace, which starts the real VelnorSvr beside it. The
// window is read through its trace and clicked with xdotool. Everything is
// stopped and removed when the test ends, also on failure.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "ChildProcess.h"
#include "InstallDir.h"
#include "NetNamespace.h"
#include "PortalSimProcess.h"
#include "TempDir.h"
#include "UiTraceReader.h"
#include "WindowPilot.h"
#include "XSession.h"

using std::chrono::milliseconds;

class WindowRun : public ::testing::Test {
protected:
    static constexpr milliseconds kWait{20000};

    void SetUp() override;
    void TearDown() override;

    bool StartSim(const std::string& scenario = "");
    // The installation: service, client, images, texts and conf/client.xml
    // with the given extra elements (pingAddress defaults to an address of
    // the namespace that answers).
    bool Install(const std::string& clientXmlExtra = "");
    bool StartClient();
    // Another ./VelnorClient in the installation, outside the namespace,
    // its output in the test's folder under outputName.
    bool StartAnotherClient(ChildProcess& child, const std::string& outputName);
    // Until the login panel is shown.
    bool WaitLoginPanel() { return m_trace->WaitFor("panel", "login", kWait); }

    // Types both and clicks the log-in button.
    void LogIn(const std::string& account, const std::string& password);
    std::string ClientOutput() const;

    TempDir m_dir;
    NetNamespace m_ns;
    XSession m_x;
    std::unique_ptr<PortalSimProcess> m_sim;
    std::unique_ptr<InstallDir> m_install;
    std::unique_ptr<UiTraceReader> m_trace;
    std::unique_ptr<WindowPilot> m_pilot;
    ChildProcess m_client;
};
