#include "Startup.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "AutoString.h"
#include "ISvrInfoCenter.h"
#include "Log.h"
#include "ProcessInfo.h"
#include "SimpleFile.h"

bool IsServiceAlive(const char* pidText) { return ProcessInfo::IsNamedProcessAlive(pidText, "VelnorSvr"); }

bool StartSingle(ISvrInfoCenter* infoCenter) {
    CAutoString recorded = infoCenter->GetLocalValue("PID");
    if (!recorded.IsEmpty() && IsServiceAlive(recorded)) return false;
    CAutoString own;
    own.Format("%d\n", static_cast<int>(getpid()));
    infoCenter->SetLocalValue("PID", own);
    return true;
}

void InitLog() {
    char directory[CLog::kPathSize] = {0};
    CSimpleFile::GetModulePath(directory, sizeof(directory));
    std::string logDir = std::string(directory) + "/Log/";
    CLog::GetInst()->Create(logDir.c_str(), "Info.log", "%Y%m%d");
    CLog::GetInst()->SetLevel(4);
}

void WipeArgument(char* argument) {
    if (argument) memset(argument, 0, strlen(argument));
}
