#pragma once

#include "Panel/Engine/TestAppCommon/TestEngine.h"
#include "Panel/Engine/TestAppCommon/ThreadedTest.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <functional>
#include <map>

namespace Vx
{
// Test id to engine creator.  Filled at start-up, then used on the main thread.
class LTestEngineFactory : public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;
    using Creator = std::function<RCPtr<LTestEngine>()>;

    // 0 for a new id; 0x80000008 for an id already present, which keeps its
    // first creator; 0x80000003 (after an assertion) for an empty creator.
    VxRESULT Register(const String& testId, const Creator& creator);
    // A new engine on every call; null (after an assertion) for an unknown id.
    RCPtr<LTestEngine> Create(const String& testId) const;

private:
    std::map<String, Creator> mCreators;
};

// Test id to test creator.  Filled at start-up, then used on the main thread.
class LTestFactory : public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;
    using Creator = std::function<RCPtr<LThreadedTest>()>;

    // 0 whether the id is new or not (an id keeps its first creator);
    // 0x80000003 (after an assertion) for an empty creator.
    VxRESULT Register(const String& testId, const Creator& creator);
    // A new test on every call; null (after an assertion) for an unknown id.
    RCPtr<LThreadedTest> Create(const String& testId) const;

private:
    std::map<String, Creator> mCreators;
};

// Where engines and sequence executers find the application's two factories.
// The application object owns them and installs providers that hand them out,
// so that this layer never reaches up to it; tests install their own.  Null
// uninstalls.
using TestEngineFactoryProvider = RCPtr<LTestEngineFactory> (*)();
using TestFactoryProvider = RCPtr<LTestFactory> (*)();
void SetTestFactoryProviders(TestEngineFactoryProvider engineFactory, TestFactoryProvider testFactory) noexcept;

// Null when no provider is installed or it has no factory; the callers
// report that.
RCPtr<LTestEngineFactory> GetApplicationTestEngineFactory();
RCPtr<LTestFactory> GetApplicationTestFactory();
} // namespace Vx
