#pragma once

#include <new>
#include <utility>

namespace Vx
{
// A process-wide object that is built on first use and never destroyed, so that
// threads still running at exit and other objects' destructors can use it until
// the process ends.  Declare it as a function-local static:
//     static NoDestructor<Mutex> lock;
//     lock->Lock();
template <typename T>
class NoDestructor
{
public:
    template <typename... Args>
    explicit NoDestructor(Args&&... args)
    {
        new (mStorage) T(std::forward<Args>(args)...);
    }

    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;
    // T's destructor never runs.
    ~NoDestructor() = default;

    T* get() noexcept { return std::launder(reinterpret_cast<T*>(mStorage)); }
    const T* get() const noexcept { return std::launder(reinterpret_cast<const T*>(mStorage)); }
    T& operator*() noexcept { return *get(); }
    const T& operator*() const noexcept { return *get(); }
    T* operator->() noexcept { return get(); }
    const T* operator->() const noexcept { return get(); }

private:
    alignas(T) unsigned char mStorage[sizeof(T)];
};
} // namespace Vx
