#include "VxFramework/ControlBase/ControlHost.h"

#include <atomic>
#include <thread>

namespace Vx
{
namespace
{
// Read on the main thread only, but installed and removed with the
// application object, which other threads may still be looking at.
std::atomic<IControlHost*> gHost{nullptr};
// The thread that installed the host.
std::atomic<std::thread::id> gHostThread{};
} // namespace

void SetControlHost(IControlHost* host) noexcept
{
    gHostThread.store(std::this_thread::get_id(), std::memory_order_release);
    gHost.store(host, std::memory_order_release);
}

IControlHost* GetControlHost() noexcept
{
    return gHost.load(std::memory_order_acquire);
}

void ResetControlHost(IControlHost* host) noexcept
{
    IControlHost* expected = host;
    gHost.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

bool IsControlThread() noexcept
{
    if (gHost.load(std::memory_order_acquire) == nullptr)
        return true;
    return gHostThread.load(std::memory_order_acquire) == std::this_thread::get_id();
}
} // namespace Vx
