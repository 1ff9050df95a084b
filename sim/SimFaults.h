#pragma once

// Faults a simulated device injects on demand: calls of a named kind fail with
// the error number a test gives, the next few of them or every one until the
// test clears the fault.  Each simulated device names its calls in an enum.

#include <map>
#include <mutex>

namespace Sim
{

template <typename Call>
class Faults
{
public:
    /** The next count calls of that kind fail with error; later ones succeed again. */
    void failNext (Call call, int error, int count = 1)
    {
        const std::lock_guard<std::mutex> sl (lock);
        plans[call] = { error, count };
    }

    /** Every call of that kind fails with error until cleared. */
    void failEvery (Call call, int error)
    {
        const std::lock_guard<std::mutex> sl (lock);
        plans[call] = { error, every };
    }

    void clear (Call call)
    {
        const std::lock_guard<std::mutex> sl (lock);
        plans.erase (call);
    }

    void clearAll()
    {
        const std::lock_guard<std::mutex> sl (lock);
        plans.clear();
    }

    /** What the device's call of that kind does now, and one planned failure
        used up: 0 to go on, else the error number it fails with. */
    int take (Call call)
    {
        const std::lock_guard<std::mutex> sl (lock);
        const auto found = plans.find (call);

        if (found == plans.end())
            return 0;

        const auto error = found->second.error;

        if (found->second.remaining != every && --found->second.remaining <= 0)
            plans.erase (found);

        return error;
    }

private:
    static constexpr int every = -1;

    struct Plan
    {
        int error = 0;
        int remaining = 0; // every: until cleared
    };

    std::mutex lock;
    std::map<Call, Plan> plans;
};

} // namespace Sim
