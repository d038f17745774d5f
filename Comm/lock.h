// LockBase: the common face of the project's locks. The base does nothing,
// so code that takes a LockBase* may be handed a no-op lock.
#pragma once

class LockBase {
public:
    LockBase() = default;
    LockBase(const LockBase&) = delete;
    LockBase& operator=(const LockBase&) = delete;
    virtual ~LockBase() = default;

    virtual void Lock(int /*mode*/) {}
    virtual bool TryLock(int /*mode*/) { return true; }
    virtual void UnLock() {}
};
