#pragma once

#include <atomic>
#include <cstdint>

namespace Vx
{
// A 32-bit counter whose every access is sequentially consistent.  Reference
// counts, waiter counts and started flags rest on it.
class AtomicCounter
{
public:
    AtomicCounter() noexcept;
    AtomicCounter(const AtomicCounter&) = delete;
    AtomicCounter& operator=(const AtomicCounter&) = delete;

    std::int32_t GetValue() const noexcept { return mValue.load(std::memory_order_seq_cst); }
    // Both return the new value.
    std::int32_t Increment() noexcept { return mValue.fetch_add(1, std::memory_order_seq_cst) + 1; }
    std::int32_t Decrement() noexcept { return mValue.fetch_sub(1, std::memory_order_seq_cst) - 1; }
    // Both return the value before the change.
    std::int32_t Add(std::int32_t delta) noexcept { return mValue.fetch_add(delta, std::memory_order_seq_cst); }
    std::int32_t Exchange(std::int32_t value) noexcept { return mValue.exchange(value, std::memory_order_seq_cst); }
    // Replaces expected by desired; false when the value was something else.
    bool CompareExchange(std::int32_t expected, std::int32_t desired) noexcept
    {
        return mValue.compare_exchange_strong(expected, desired, std::memory_order_seq_cst);
    }

private:
    std::atomic<std::int32_t> mValue;
};

static_assert(sizeof(AtomicCounter) == 4, "the counter is one 32-bit word");
} // namespace Vx
