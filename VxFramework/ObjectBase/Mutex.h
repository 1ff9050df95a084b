#pragma once

#include <pthread.h>

namespace Vx
{
// A recursive lock embedded in the object it protects.
class Mutex
{
public:
    Mutex() noexcept;
    virtual ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    void Lock() noexcept { pthread_mutex_lock(&mMutex); }
    void Unlock() noexcept { pthread_mutex_unlock(&mMutex); }

    // Created after the lock is taken; gives it back on every way out of the scope.
    class Unlocker
    {
    public:
        explicit Unlocker(Mutex& mutex) noexcept : mMutex(&mutex) {}
        ~Unlocker() { mMutex->Unlock(); }
        Unlocker(const Unlocker&) = delete;
        Unlocker& operator=(const Unlocker&) = delete;

    private:
        Mutex* mMutex;
    };

private:
    pthread_mutex_t mMutex;
};

// Takes the lock and gives it back at the end of the scope.
class ScopedLock
{
public:
    explicit ScopedLock(Mutex& mutex) noexcept : mMutex(mutex) { mMutex.Lock(); }
    ~ScopedLock() { mMutex.Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex& mMutex;
};
} // namespace Vx
