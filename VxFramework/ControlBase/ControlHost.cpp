#include "VxFramework/ControlBase/ControlHost.h"

#include <atomic>

namespace Vx
{
namespace
{
// Read on the main thread only, but installed and removed with the
// application object, which other threads may still be looking at.
std::atomic<IControlHost*> gHost{nullptr};
} // namespace

void SetControlHost(IControlHost* host) noexcept
{
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
} // namespace Vx
