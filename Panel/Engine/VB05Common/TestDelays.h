#pragma once

// The waits of the hardware tests' bodies (network manager settling, scan
// delays).  The device sleeps them; a scope may take them over, so that the
// simulator and the tests record them instead of waiting seconds.

#include <cstdint>
#include <functional>

namespace Vx::VB05
{
class TestDelays
{
public:
    using Sleeper = std::function<void(std::uint32_t milliseconds)>;

    // Waits on the calling thread, or hands the wait to the scope's sleeper.
    static void Sleep(std::uint32_t milliseconds);

    // Installs a sleeper for its lifetime and gives back the one before.
    // Made and ended while no test body runs.
    class Scoped
    {
    public:
        explicit Scoped(Sleeper sleeper);
        ~Scoped();
        Scoped(const Scoped&) = delete;
        Scoped& operator=(const Scoped&) = delete;

    private:
        Sleeper mSleeper;
        const Sleeper* mPrevious;
    };
};
} // namespace Vx::VB05
