// Demonstration: runs the dummy test through its engine, then a sequence of
// two stages of dummy tests through an executer, and prints every notification
// as the main thread receives it.  The trace goes to standard error.

#include "Panel/Engine/TestAppCommon/TestSequenceExecuter.h"
#include "Panel/Main/TestIdentifiers.h"
#include "Panel/Main/TestRegistrations.h"
#include "VxFramework/Notification/NotificationCenter.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace
{
using String = Vx::StringT<char, unsigned short>;

Vx::RCPtr<Vx::LTestEngineFactory>& EngineFactory()
{
    static Vx::RCPtr<Vx::LTestEngineFactory> factory;
    return factory;
}

Vx::RCPtr<Vx::LTestFactory>& TestFactory()
{
    static Vx::RCPtr<Vx::LTestFactory> factory;
    return factory;
}

class Printer : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        const Vx::RCPtr<Vx::LRefCountedObject>& param = notification->GetParam();
        if (auto* completed = dynamic_cast<Vx::LWrapper<Vx::TestCompletedPayload>*>(param.Get()))
            std::printf("%s %s %s\n", notification->GetId(), completed->name.GetCString(),
                        Vx::LTestEngine::GetResultName(completed->result).GetCString());
        else if (auto* started = dynamic_cast<Vx::LWrapper<Vx::TestStartedPayload>*>(param.Get()))
            std::printf("%s %s\n", notification->GetId(), started->name.GetCString());
        else if (auto* log = dynamic_cast<Vx::LWrapper<Vx::TestLogChangedPayload>*>(param.Get()))
            std::printf("%s %s\n", notification->GetId(), log->name.GetCString());
        else
            std::printf("%s\n", notification->GetId());
        if (std::string(notification->GetId()) == Vx::kTestSequenceCompletedId)
            mSequenceDone = true;
        if (std::string(notification->GetId()) == Vx::kTestCompletedId)
            ++mCompleted;
        return 1;
    }

    int mCompleted = 0;
    bool mSequenceDone = false;
};

// The idle tick's delivery, until done.
template <class Done>
void RunUntil(Done done)
{
    while (!done())
    {
        if (!Vx::LNotificationCenterManager::GetInstance()->ProcessPending(false))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
} // namespace

int main()
{
    EngineFactory() = Vx::MakeRCPtr<Vx::LTestEngineFactory>();
    TestFactory() = Vx::MakeRCPtr<Vx::LTestFactory>();
    Vx::RegisterTestEngineCreators(*EngineFactory());
    Vx::RegisterTestCreators(*TestFactory());
    Vx::SetTestFactoryProviders([] { return EngineFactory(); }, [] { return TestFactory(); });

    const Vx::RCPtr<Printer> printer = Vx::MakeRCPtr<Printer>();
    const Vx::RCPtr<Vx::LNotificationDistributor> center(Vx::LNotificationCenterManager::GetInstance()->GetCenter(
        Vx::LNotificationCenterManager::GetDefaultCenterName()));
    const auto listen = [&] {
        for (const char* id : {Vx::kTestStartedId, Vx::kTestLogChangedId, Vx::kTestCompletedId})
            printer->Register(center, id, 0);
    };
    listen();

    std::printf("== one run of %s\n", Vx::TID_DUMMY);
    const Vx::RCPtr<Vx::LTestEngine> engine = EngineFactory()->Create(String(Vx::TID_DUMMY));
    if (Vx::Failed(engine->Start()))
        return 1;
    RunUntil([&] { return printer->mCompleted == 1; });

    std::printf("== a sequence of two stages of %s\n", Vx::TID_DUMMY);
    const Vx::TestBinding dummy{1, 2, String(Vx::TID_DUMMY), String("dummyLabel"), String()};
    const Vx::TestGroup groups[] = {{&dummy, 1}, {&dummy, 1}};
    const Vx::RCPtr<Vx::LTestSequenceExecuter> executer = Vx::MakeRCPtr<Vx::LTestSequenceExecuter>();
    if (Vx::Failed(executer->Init(groups, 2)))
        return 1;
    // As a view does: on the centre after the executer, so that it hears each
    // test's completion before the sequence's.
    printer->UnregisterAll();
    listen();
    printer->Register(Vx::RCPtr<Vx::LNotificationDistributor>(executer), Vx::kTestSequenceStartedId, 0);
    printer->Register(Vx::RCPtr<Vx::LNotificationDistributor>(executer), Vx::kTestSequenceCompletedId, 0);
    if (Vx::Failed(executer->Start()))
        return 1;
    RunUntil([&] { return printer->mSequenceDone; });

    printer->UnregisterAll();
    Vx::SetTestFactoryProviders(nullptr, nullptr);
    return printer->mCompleted == 3 ? 0 : 1;
}
