// CSystemControlAdapter: detects the distribution once and owns the matching
// ISystemControl, created on first use. One owner thread; the pointer it
// hands out lives as long as the adapter.
#pragma once

#include <memory>

#include "ISystemControl.h"

class CSystemControlAdapter {
public:
    explicit CSystemControlAdapter(const SYSTEM_CONTROL_PATHS& paths = SYSTEM_CONTROL_PATHS());
    CSystemControlAdapter(const CSystemControlAdapter&) = delete;
    CSystemControlAdapter& operator=(const CSystemControlAdapter&) = delete;

    ISystemControl* GetSystemControl();
    // Reads the os-release file again and returns what it names.
    OPERATION_SYSTEM GetSystem();

    // An os-release line; "ubuntu", "Fedora" and "CentOS" are tested in
    // this order, case-sensitively, and later findings overwrite earlier ones.
    static void SystemLineParser(const char* pszLine, void* pParam);

private:
    struct ReleaseControl {
        void operator()(ISystemControl* control) const noexcept { control->Release(); }
    };

    std::unique_ptr<ISystemControl, ReleaseControl> m_Instance;
    OPERATION_SYSTEM m_OperationSystem = SYSTEM_COMMON;
    CShellExecutor m_Executor;
    SYSTEM_CONTROL_PATHS m_Paths;
};
