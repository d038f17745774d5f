// CShellExecutor: runs a fixed command line through the shell, or reads a
// file, and hands every output line to a callback. Only fixed command lines
// written in this program may be given to it: nothing from the portal, a file
// or the pipe. One owner thread; a command blocks it until it ends.
#pragma once

// Receives one output line (line end included; a line longer than
// kLinePiece - 1 bytes arrives in pieces) and the parameter given with it.
typedef void (*SYSTEMCONTROLLOG)(const char* pszLine, void* pParam);

class CShellExecutor {
public:
    static constexpr int kLinePiece = 1024;

    // The callback and its parameter are borrowed; null stops the delivery.
    void SetSystemControlLogger(SYSTEMCONTROLLOG routine, void* pParam) {
        m_SystemControlLog = routine;
        m_pParam = pParam;
    }
    SYSTEMCONTROLLOG GetLogRoutine() const { return m_SystemControlLog; }

    // 1 when the command ran and its stream closed without error; 0 when the
    // command or the mode is null or empty, the mode is not a read mode, the
    // command cannot be started or closing its stream fails.
    int ExecuteShellScript(const char* pszCommand, const char* pszMode);
    // The same for the lines of a file, without any shell: 1 when the file was
    // read to its end, 0 when the path is null or empty or reading fails.
    int ReadFileLines(const char* pszPath);

private:
    void Deliver(const char* pszLine) const {
        if (m_SystemControlLog) m_SystemControlLog(pszLine, m_pParam);
    }

    SYSTEMCONTROLLOG m_SystemControlLog = nullptr;
    void* m_pParam = nullptr;
};
