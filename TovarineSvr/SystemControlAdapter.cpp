#include "SystemControlAdapter.h"

#include <cstring>

#include "SystemControl.h"
#include "SystemControlCentOS.h"

CSystemControlAdapter::CSystemControlAdapter(const SYSTEM_CONTROL_PATHS& paths) : m_Paths(paths) {
    m_Executor.SetSystemControlLogger(SystemLineParser, this);
}

void CSystemControlAdapter::SystemLineParser(const char* pszLine, void* pParam) {
    auto* self = static_cast<CSystemControlAdapter*>(pParam);
    if (!self || !pszLine) return;
    if (strstr(pszLine, "ubuntu")) self->m_OperationSystem = SYSTEM_UBUNTU;
    if (strstr(pszLine, "Fedora")) self->m_OperationSystem = SYSTEM_FEDORA;
    if (strstr(pszLine, "CentOS")) self->m_OperationSystem = SYSTEM_CENT;
}

OPERATION_SYSTEM CSystemControlAdapter::GetSystem() {
    m_OperationSystem = SYSTEM_COMMON;
    m_Executor.ReadFileLines(m_Paths.strOsRelease.c_str());
    return m_OperationSystem;
}

ISystemControl* CSystemControlAdapter::GetSystemControl() {
    if (!m_Instance) {
        if (GetSystem() == SYSTEM_CENT) {
            m_Instance.reset(new CSystemControlCentOS(m_Paths));
        } else {
            m_Instance.reset(new CSystemControl(m_Paths));
        }
    }
    return m_Instance.get();
}
