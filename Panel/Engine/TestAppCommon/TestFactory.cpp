#include "Panel/Engine/TestAppCommon/TestFactory.h"

#include "VxFramework/ObjectBase/Exception.h"

#include <atomic>

namespace Vx
{
namespace
{
std::atomic<TestEngineFactoryProvider> sEngineFactoryProvider{nullptr};
std::atomic<TestFactoryProvider> sTestFactoryProvider{nullptr};

template <class Map, class Creator>
VxRESULT Insert(Map& creators, const StringT<char, unsigned short>& testId, const Creator& creator)
{
    // A stored creator is called without a check.
    if (!creator)
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    return creators.emplace(testId, creator).second ? VXR_OK : VXR_E_FAIL;
}

template <class Result, class Map>
Result Call(const Map& creators, const StringT<char, unsigned short>& testId)
{
    const auto found = creators.find(testId);
    if (found == creators.end())
    {
        VX_ASSERT_FALSE();
        return nullptr;
    }
    return found->second();
}
} // namespace

VxRESULT LTestEngineFactory::Register(const String& testId, const Creator& creator)
{
    return Insert(mCreators, testId, creator);
}

RCPtr<LTestEngine> LTestEngineFactory::Create(const String& testId) const
{
    return Call<RCPtr<LTestEngine>>(mCreators, testId);
}

VxRESULT LTestFactory::Register(const String& testId, const Creator& creator)
{
    const VxRESULT result = Insert(mCreators, testId, creator);
    // A repeated id is no error here; only the engine factory reports it.
    return result == VXR_E_FAIL ? VXR_OK : result;
}

RCPtr<LThreadedTest> LTestFactory::Create(const String& testId) const
{
    return Call<RCPtr<LThreadedTest>>(mCreators, testId);
}

void SetTestFactoryProviders(TestEngineFactoryProvider engineFactory, TestFactoryProvider testFactory) noexcept
{
    sEngineFactoryProvider.store(engineFactory, std::memory_order_release);
    sTestFactoryProvider.store(testFactory, std::memory_order_release);
}

RCPtr<LTestEngineFactory> GetApplicationTestEngineFactory()
{
    const TestEngineFactoryProvider provider = sEngineFactoryProvider.load(std::memory_order_acquire);
    return provider != nullptr ? provider() : nullptr;
}

RCPtr<LTestFactory> GetApplicationTestFactory()
{
    const TestFactoryProvider provider = sTestFactoryProvider.load(std::memory_order_acquire);
    return provider != nullptr ? provider() : nullptr;
}
} // namespace Vx
