#include "Panel/Main/TestRegistrations.h"

#include "Panel/Main/TestIdentifiers.h"

namespace Vx
{
void RegisterTestEngineCreators(LTestEngineFactory& factory)
{
    for (const char* testId : kTestIds)
    {
        factory.Register(StringT<char, unsigned short>(testId),
                         [testId] { return MakeRCPtr<LTestEngine>(StringT<char, unsigned short>(testId)); });
    }
}

void RegisterTestCreators(LTestFactory& factory)
{
    factory.Register(StringT<char, unsigned short>(TID_DUMMY),
                     [] { return RCPtr<LThreadedTest>(MakeRCPtr<LDummyTest>(1000, 0)); });
}
} // namespace Vx
