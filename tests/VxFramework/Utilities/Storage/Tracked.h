#pragma once

#include "VxFramework/ObjectBase/RefCountedObject.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace VxTest
{
// A reference-counted object that counts the reference traffic of all its
// instances, so that tests can tell which operations touch reference counts.
class Tracked : public virtual Vx::LRefCountedObject
{
public:
    struct Traffic
    {
        std::atomic<int> addRefs{0};
        std::atomic<int> releases{0};
        std::atomic<int> live{0};
        std::mutex destroyedLock;
        std::vector<int> destroyed;

        void Reset()
        {
            addRefs = 0;
            releases = 0;
            const std::lock_guard<std::mutex> lock(destroyedLock);
            destroyed.clear();
        }
    };

    static Traffic& Counters()
    {
        static Traffic* traffic = new Traffic;
        return *traffic;
    }

    explicit Tracked(int value) : mValue(value) { ++Counters().live; }

    ~Tracked() override
    {
        --Counters().live;
        const std::lock_guard<std::mutex> lock(Counters().destroyedLock);
        Counters().destroyed.push_back(mValue);
    }

    std::uint32_t AddRef() noexcept override
    {
        ++Counters().addRefs;
        return LRefCountedObject::AddRef();
    }

    std::uint32_t Release() override
    {
        ++Counters().releases;
        return LRefCountedObject::Release();
    }

    Vx::RCPtr<Vx::LRefCountedObject> CreateCopy() const override { return Vx::MakeRCPtr<Tracked>(mValue + 1000); }

    const int mValue;
};
} // namespace VxTest
