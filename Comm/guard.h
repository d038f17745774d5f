// CLockGuard: a scope guard over a lock pointer whose policy decides what
// entering and leaving mean. GNothing does nothing (for call sites that only
// need the shape of a guard); GWrite and GRead really hold the lock.
#pragma once

template <typename T>
struct GNothing {
    void Enter(T) {}
    void Leave(T) {}
    static T Null() { return T(); }
};

// Exclusive hold: a MutexLock, or an RWLock's write side.
template <typename T>
struct GWrite {
    void Enter(T lock) {
        if (lock) lock->Lock(1);
    }
    void Leave(T lock) {
        if (lock) lock->UnLock();
    }
    static T Null() { return T(); }
};

// Shared hold: an RWLock's read side.
template <typename T>
struct GRead {
    void Enter(T lock) {
        if (lock) lock->Lock(0);
    }
    void Leave(T lock) {
        if (lock) lock->UnLock();
    }
    static T Null() { return T(); }
};

template <typename T, typename Policy = GNothing<T>>
class CLockGuard {
public:
    explicit CLockGuard(T lock, bool deferred = false) : _t(lock) {
        if (!deferred) Enter();
    }
    ~CLockGuard() { Leave(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

    T Get() const { return _t; }
    operator T() const { return _t; }  // NOLINT
    explicit operator bool() const { return _t != Policy::Null(); }
    bool operator==(const CLockGuard& other) const { return _t == other._t; }
    bool operator!=(const CLockGuard& other) const { return _t != other._t; }

    // Leaves the held lock and enters the new one.
    void Attach(T lock) {
        Leave();
        _t = lock;
        Enter();
    }
    // Leaves the held lock and forgets it; returns it.
    T Detach() {
        Leave();
        T old = _t;
        _t = Policy::Null();
        return old;
    }

    // Entering twice or leaving a lock not entered is a no-op, so a deferred
    // guard never releases what it does not hold.
    void Enter() {
        if (_t != Policy::Null() && !m_bHeld) {
            _g.Enter(_t);
            m_bHeld = true;
        }
    }
    void Leave() {
        if (_t != Policy::Null() && m_bHeld) {
            _g.Leave(_t);
            m_bHeld = false;
        }
    }

private:
    T _t;
    Policy _g;
    bool m_bHeld = false;
};

// The two holds the project takes: exclusive (a MutexLock, an RWLock's write
// side) and shared (an RWLock's read side).
template <typename L>
using CWriteGuard = CLockGuard<L*, GWrite<L*>>;
template <typename L>
using CReadGuard = CLockGuard<L*, GRead<L*>>;
