#pragma once

#include <cstdint>
#include <ctime>

namespace Vx
{
// now + milliseconds on the monotonic clock, for the timed waits and joins that
// take an absolute deadline: setting the wall clock neither shortens nor
// stretches them.
inline timespec MonotonicDeadline(std::uint32_t milliseconds) noexcept
{
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000u);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000u) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L)
    {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}
} // namespace Vx
