#include "VxFramework/ObjectBase/AtomicCounter.h"

#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
AtomicCounter::AtomicCounter() noexcept
{
    // Interlocked operations need a naturally aligned word.
    VX_ASSERT((reinterpret_cast<std::uintptr_t>(this) & 3u) == 0);
    mValue.store(0, std::memory_order_seq_cst);
}
} // namespace Vx
