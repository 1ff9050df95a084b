#include "Panel/Main/TestRegistrations.h"

#include "Panel/Engine/VB05Common/BluetoothTest.h"
#include "Panel/Engine/VB05Common/RAMTest.h"
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
    factory.Register(StringT<char, unsigned short>(TID_RAM),
                     [] { return RCPtr<LThreadedTest>(MakeRCPtr<VB05::LRAMTest>()); });
    factory.Register(StringT<char, unsigned short>(TID_IO_BLUETOOTH),
                     [] { return RCPtr<LThreadedTest>(MakeRCPtr<VB05::LBluetoothTest2>()); });
}
} // namespace Vx
