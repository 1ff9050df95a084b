#pragma once

// How the backend finds the calls behind a seam, how a stand-in takes their
// place, and the holder of the descriptors a seam opens.  A seam is an
// interface of the calls the backend makes on one device (see docs/seams.md);
// its static get() answers getSystemCalls<Seam>(): the calls of the innermost
// ScopedSystemCalls alive, else the device's own (Seam::getDeviceCalls()).

#include <juce_core/juce_core.h>

#include <atomic>
#include <mutex>
#include <utility>

namespace juce
{

template <typename Calls>
class ScopedSystemCalls;

namespace SystemCallsDetail
{
    template <typename Calls>
    struct Installed
    {
        std::atomic<Calls*> calls { nullptr };
        std::mutex lock; // guards the chain of scopes
        ScopedSystemCalls<Calls>* innermost = nullptr;
    };

    // Built on first use and never destroyed: threads still running at exit may use it.
    template <typename Calls>
    Installed<Calls>& installed()
    {
        static auto* state = new Installed<Calls>();
        return *state;
    }
} // namespace SystemCallsDetail

/** The calls in use behind the seam Calls. */
template <typename Calls>
Calls& getSystemCalls()
{
    if (auto* calls = SystemCallsDetail::installed<Calls>().calls.load())
        return *calls;

    return Calls::getDeviceCalls();
}

//==============================================================================
/** Puts a stand-in behind a seam for its lifetime and gives back what was
    there before when it ends.  Scopes nest, and the innermost one is in use;
    a scope that ends before one made inside it is a mistake, which asserts and
    is taken out of the chain so that nothing is left pointing at it.

    Install only while the backend is not running (before JUCE starts, after it
    has shut down): the backend holds no lock while it calls. */
template <typename Calls>
class ScopedSystemCalls
{
public:
    explicit ScopedSystemCalls (Calls& standIn) : calls (standIn)
    {
        auto& state = SystemCallsDetail::installed<Calls>();
        const std::lock_guard<std::mutex> sl (state.lock);
        outer = state.innermost;
        state.innermost = this;
        state.calls.store (&calls);
    }

    ~ScopedSystemCalls()
    {
        auto& state = SystemCallsDetail::installed<Calls>();
        const std::lock_guard<std::mutex> sl (state.lock);

        if (state.innermost == this)
        {
            state.innermost = outer;
        }
        else
        {
            // Scopes overlap: one made inside this one is still alive.
            jassertfalse;

            for (auto* scope = state.innermost; scope != nullptr; scope = scope->outer)
            {
                if (scope->outer == this)
                {
                    scope->outer = outer;
                    break;
                }
            }
        }

        state.calls.store (state.innermost != nullptr ? &state.innermost->calls : nullptr);
    }

private:
    Calls& calls;
    ScopedSystemCalls* outer = nullptr;

    JUCE_DECLARE_NON_COPYABLE (ScopedSystemCalls)
    JUCE_DECLARE_NON_MOVEABLE (ScopedSystemCalls)
};

//==============================================================================
/** Owns a descriptor that a seam opened and closes it through that seam. */
template <typename Calls>
class UniqueDescriptor
{
public:
    UniqueDescriptor() noexcept = default;

    /** Takes a descriptor the calls opened; a negative one holds nothing. */
    UniqueDescriptor (Calls& callsThatOpened, int descriptor) noexcept
        : calls (&callsThatOpened), fd (descriptor < 0 ? -1 : descriptor) {}

    ~UniqueDescriptor() { reset(); }

    UniqueDescriptor (UniqueDescriptor&& other) noexcept
        : calls (other.calls), fd (std::exchange (other.fd, -1)) {}

    UniqueDescriptor& operator= (UniqueDescriptor&& other) noexcept
    {
        if (this != &other)
        {
            reset();
            calls = other.calls;
            fd = std::exchange (other.fd, -1);
        }

        return *this;
    }

    int get() const noexcept { return fd; }
    bool isValid() const noexcept { return fd >= 0; }

    void reset() noexcept
    {
        if (const auto descriptor = std::exchange (fd, -1); descriptor >= 0)
            calls->close (descriptor);
    }

private:
    Calls* calls = nullptr;
    int fd = -1;

    JUCE_DECLARE_NON_COPYABLE (UniqueDescriptor)
};

} // namespace juce
