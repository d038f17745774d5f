// CPipeService: one end of the FIFO pair between the service and the desktop
// client. Each side creates the FIFO it writes and reads the peer's. A
// message is an envelope followed by one NUL byte.
//
// Threads: create and open on one thread; LoopMsg on the reader thread (it
// blocks); WritePipe from any thread (writes are serialised); the callback
// runs on the message-engine worker. SetAbort may be called from any thread.
// Ownership: the callback is not owned and must outlive the loop; both
// descriptors and the own FIFO (unlinked at destruction) are owned. End a
// running LoopMsg (SetAbort) and join its thread before destroying the object.
//
// Results: 0 on success, distinct negative numbers on failure (see each).
#pragma once

#include <atomic>
#include <string>

#include "AutoString.h"
#include "IPipeCallback.h"
#include "MsgEngine.h"
#include "UniqueFd.h"
#include "ptlock.h"

class CPipeService : public CMsgEngine {
public:
    static constexpr int kRetryForever = -1;

    CPipeService();
    ~CPipeService() override;

    // A write to a FIFO whose reader has gone then fails with EPIPE instead
    // of ending the process. Both programs call this at start.
    static void IgnoreSigPipe();

    // Creates the own FIFO (mode 0600) when absent: 0. An existing FIFO of
    // ours that only we may open is reused: -1. Anything else at the path
    // (someone else's or an open FIFO, a file, a symbolic link) is replaced
    // by a new FIFO: 0. -2 when no FIFO could be made (e.g. a directory).
    int CreateNamedPipeInServer(const char* name, IPipeCallback* callback);
    // Service side: opens the own FIFO for writing (blocks until the peer
    // reads it; -1 on failure), then the peer FIFO for reading, retrying
    // every second (-2 once maxAttempts opens failed or on abort).
    int OpenNamePipeServer(const char* peerName, int maxAttempts = kRetryForever);
    // Client side: opens the peer FIFO for reading, retrying every second
    // (-2 as above), then the own FIFO for writing (-1 on failure).
    int OpenNamePipeClient(const char* peerName, int maxAttempts = kRetryForever);
    // Reads messages and queues them for the callback until reading fails
    // (-1) or SetAbort(true) (-2); the engine is stopped on return. A peer
    // that closes its end is waited for, not an error.
    int LoopMsg();
    // Writes the whole message and its NUL; false when not connected, when
    // the text is null or when the write fails (e.g. the peer has gone).
    bool WritePipe(const char* text);
    void Disconnect() {}
    // Unlinks the own FIFO if it is still one (also done at destruction).
    void RemoveOwnFifo();

    bool IsConnected() const { return m_bConnected.load(); }
    // true: opens that wait or retry give up and LoopMsg returns; false
    // re-arms the object.
    void SetAbort(bool abort);

protected:
    void DoMessage(CAutoString message) override;

private:
    int OpenPeerForReading(const char* peerName, int maxAttempts);
    int OpenOwnForWriting();
    bool WaitRetry();  // false on abort
    static bool PeerAppeared(int watchFd, const std::string& name);
    void HoldOpenForAbort(const CAutoString& path, CUniqueFd& holder);

    std::atomic<IPipeCallback*> m_pCallback{nullptr};
    CUniqueFd m_writeFd;
    CUniqueFd m_readFd;
    // A writer we hold on the peer's FIFO, so that reads never see end of
    // file while the peer is away and the reader sleeps in poll instead.
    CUniqueFd m_keepReadFd;
    CAutoString m_ownName;
    std::atomic<bool> m_bConnected{false};
    MutexLock m_pipeLock;  // creation and writes

    std::atomic<bool> m_bAbort{false};
    MutexLock m_abortLock;  // the names below and the holders
    CAutoString m_peerName;
    CUniqueFd m_wakeFd;  // eventfd that ends LoopMsg's wait
    CUniqueFd m_abortOwnFd, m_abortPeerFd;
};
